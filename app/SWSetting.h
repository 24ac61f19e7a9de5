// The viewer's settings: window placement and options in one small text file of key=value lines,
// "solvaneview.ini" in the user-data folder, read once at start and written once at the end; and
// the choice of that folder.
#pragma once

#include "platform/gfx/Color.h"
#include "platform/rtl/System.h"

class TSWSetting {
public:
    // An empty FileName means "solvaneview.ini" in Folder, or beside the program when Folder is
    // empty too.
    TSWSetting(const String& AFolder, const String& AFileName);

    // Reads the file when it exists; missing or unparsable keys keep their defaults.
    void Load();
    // Writes the file as UTF-16 text with a byte-order mark, replacing the old one only once the
    // new one is whole. False (the old file kept) when it cannot be written, and without a
    // FileName (settings kept for the session only).
    bool Save() const;

    String FileName;
    String Folder;
    int32_t Left = 100;
    int32_t Top = 100;
    int32_t Width = 350;
    int32_t Height = 350;
    int32_t CenterX = 275;
    int32_t CenterY = 275;
    bool Maximized = false;
    bool AutoSize = true;
    bool FitToWindow = true;
    bool ShowThumbs = true;
    bool CheckUpdate = false;
    int32_t JpegQuality = 90;
    String Language;
    TColor BackColor = clBlack;
};

// Text as a decimal integer (with Hex also "0x"-prefixed hexadecimal) by the shell's rules;
// Default when it is not one.
int32_t ParseIntDefault(const String& Text, int32_t Default, bool Hex);
// Six hexadecimal digits red, green, blue as a colour; Default for any other length. A pair that
// is not hexadecimal gives 0 for its channel.
TColor HexToColor(const String& Text, TColor Default);
// A colour, system colours resolved, as six upper-case hexadecimal digits red, green, blue.
String ColorToHex(TColor Colour);

// The program's folder and the user-data folder that holds its settings.
struct TDataFolders {
    String ExeDir;
    String DataDir;
};
// Chooses the user-data folder: "userdata" beside the program when it exists (portable use,
// never made by the program); else "Solvaneview" in the user's application-data folder, made
// when missing. When neither can be had, DataDir is empty: there is no folder for the settings.
// The sibling product's default settings are copied into a portable folder, and into a per-user
// folder made now.
TDataFolders ResolveDataFolders(const String& ExeDir);

// Copies SourceFolder's "solvanedesk.ini" into DestFolder unless DestFolder has one; a failed
// copy is ignored.
void CopyDefaultSiblingSettings(const String& SourceFolder, const String& DestFolder);
