#pragma once

// Whether the session has a tray of the StatusNotifierItem kind: a watcher
// on the session bus that reports a host showing the items. Qt shows the
// icon there rather than in an XEmbed tray when this holds.
bool StatusNotifierHostPresent();
