#pragma once

#include <QString>

#include "foundation/shared_string.h"

// Both sides hold UTF-16 code units: the texts cross unchanged.
inline QString ToQString(const Orvex::SharedString& text) {
  return QString(reinterpret_cast<const QChar*>(text.CStr()),
                 static_cast<qsizetype>(text.Length()));
}

inline Orvex::SharedString FromQString(const QString& text) {
  return Orvex::SharedString(reinterpret_cast<const char16_t*>(text.utf16()),
                             static_cast<size_t>(text.size()));
}
