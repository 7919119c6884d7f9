#pragma once

#include "app/tray_commands.h"

// One entry of the tray icon's menu; id 0 is a separator.
struct TrayMenuItem {
  int id;
  const char16_t* text;
};

// The tray icon's menu, top to bottom, on every system: the Linux program
// builds its menu from it, and the Windows resource must match it. The
// ampersand marks the access key.
inline constexpr TrayMenuItem kTrayMenuItems[] = {
    {kCmdChangeNow, u"壁紙の変更(&W)"},
    {kCmdPrevious, u"前の壁紙に戻す(&B)"},
    {kCmdExclude, u"この画像を今後表示しない(&N)"},
    {kCmdOpenSource, u"現在の壁紙の元のファイルを開く(&O)"},
    {kCmdSuspend, u"一時停止(&S)"},
    {kCmdResume, u"再開(&R)"},
    {0, nullptr},
    {kCmdChooseFolder, u"フォルダを選択(&F)"},
    {kCmdSettings, u"設定(&C)"},
    {0, nullptr},
    {kCmdOpenProgramFolder, u"実行ファイルのあるフォルダを開く(&M)"},
    {kCmdOpenWebPage, u"配布サイトを開く(&W)"},
    {kCmdSendMail, u"作者へメールを送る(&E)"},
    {0, nullptr},
    {kCmdExit, u"終了(&X)"},
};
