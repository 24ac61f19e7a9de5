// The viewer's settings file and the choice of the user-data folder.
#include "app/SWSetting.h"

#include "platform/rtl/StringList.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/WinApi.h"
#include "platform/shell/KnownFolders.h"

namespace {

const String SettingsName = u"solvaneview.ini";
const String SiblingSettingsName = u"solvanedesk.ini";

String Join(const String& Folder, const String& Name) {
    return IncludeTrailingPathDelimiter(Folder) + Name;
}

// The value of the first line named Key (case aside), empty when there is none.
String ValueOf(const TStringList& Lines, const String& Key) {
    const int32_t index = Lines.IndexOfName(Key);
    return index < 0 ? String() : Lines.ValueFromIndex(index);
}

int32_t IntOf(const TStringList& Lines, const String& Key, int32_t Default) {
    return ParseIntDefault(ValueOf(Lines, Key), Default, false);
}

bool BoolOf(const TStringList& Lines, const String& Key, bool Default) {
    return IntOf(Lines, Key, Default ? 1 : 0) != 0;
}

String Line(const char16_t* Key, int32_t Value) {
    return String(Key) + u"=" + IntToStr(Value);
}

} // namespace

TSWSetting::TSWSetting(const String& AFolder, const String& AFileName)
    : FileName(AFileName), Folder(AFolder) {
    if (FileName.empty())
        FileName =
            Join(Folder.empty() ? ExtractFilePath(GetModuleFileNameW()) : Folder, SettingsName);
}

void TSWSetting::Load() {
    if (!FileExists(FileName)) return;
    TStringList lines;
    try {
        lines.LoadFromFile(FileName, TTextEncoding::Unicode);
    } catch (const EStreamError&) {
        return; // an unreadable file counts as a missing one
    }
    Left = IntOf(lines, u"left", 100);
    Top = IntOf(lines, u"top", 100);
    Width = IntOf(lines, u"width", 350);
    Height = IntOf(lines, u"height", 350);
    CenterX = IntOf(lines, u"centerx", 275);
    CenterY = IntOf(lines, u"centery", 275);
    Maximized = BoolOf(lines, u"maximized", false);
    BackColor = HexToColor(ValueOf(lines, u"backcolor"), clBlack);
    AutoSize = BoolOf(lines, u"autosize", true);
    FitToWindow = BoolOf(lines, u"fittowindow", true);
    ShowThumbs = BoolOf(lines, u"showthumbs", true);
    // Off without the key as without the file: a file from an older version never turns a
    // network check on by itself.
    CheckUpdate = BoolOf(lines, u"checkupdate", false);
    JpegQuality = IntOf(lines, u"jpegquality", 90);
    Language = ValueOf(lines, u"Language");
}

bool TSWSetting::Save() const {
    if (FileName.empty()) return false;
    TStringList lines;
    lines.Add(Line(u"left", Left));
    lines.Add(Line(u"top", Top));
    lines.Add(Line(u"width", Width));
    lines.Add(Line(u"height", Height));
    lines.Add(Line(u"centerx", CenterX));
    lines.Add(Line(u"centery", CenterY));
    lines.Add(Line(u"maximized", Maximized ? 1 : 0));
    lines.Add(u"backcolor=" + ColorToHex(BackColor));
    lines.Add(Line(u"autosize", AutoSize ? 1 : 0));
    lines.Add(Line(u"fittowindow", FitToWindow ? 1 : 0));
    lines.Add(Line(u"showthumbs", ShowThumbs ? 1 : 0));
    lines.Add(Line(u"checkupdate", CheckUpdate ? 1 : 0));
    lines.Add(Line(u"jpegquality", JpegQuality));
    lines.Add(u"language=" + Language);
    try {
        lines.SaveToFile(FileName, TTextEncoding::Unicode);
    } catch (const EStreamError&) {
        return false;
    }
    return true;
}

int32_t ParseIntDefault(const String& Text, int32_t Default, bool Hex) {
    int32_t value = 0;
    return StrToIntExW(Text, Hex ? STIF_SUPPORT_HEX : STIF_DEFAULT, &value) ? value : Default;
}

TColor HexToColor(const String& Text, TColor Default) {
    if (Text.size() != 6) return Default;
    TColor colour = 0;
    for (int channel = 0; channel < 3; ++channel) {
        const int32_t byte = ParseIntDefault(u"0x" + Text.substr(2 * channel, 2), 0, true);
        colour |= (byte & 0xFF) << (8 * channel);
    }
    return colour;
}

String ColorToHex(TColor Colour) {
    const TColor rgb = ColorToRGB(Colour);
    return IntToHex(rgb & 0xFF, 2) + IntToHex((rgb >> 8) & 0xFF, 2) +
           IntToHex((rgb >> 16) & 0xFF, 2);
}

void CopyDefaultSiblingSettings(const String& SourceFolder, const String& DestFolder) {
    CopyFileW(Join(SourceFolder, SiblingSettingsName), Join(DestFolder, SiblingSettingsName), true);
}

TDataFolders ResolveDataFolders(const String& ExeDir) {
    TDataFolders folders{ExeDir, Join(ExeDir, u"userdata")};
    const String defaults = Join(ExeDir, u"default");
    if (DirectoryExists(folders.DataDir)) {
        CopyDefaultSiblingSettings(defaults, folders.DataDir);
        return folders;
    }
    // The portable folder is the user's choice, made by hand: the program never makes it, or a
    // passing failure of the per-user folder would turn it portable for good.
    folders.DataDir.clear();
    String appData;
    if (!SHGetSpecialFolderPathW(appData, CSIDL_APPDATA, true)) return folders;
    const String appFolder = Join(appData, u"Solvaneview");
    const bool existed = DirectoryExists(appFolder);
    if (existed || CreateDir(appFolder)) {
        folders.DataDir = appFolder;
        if (!existed) CopyDefaultSiblingSettings(defaults, appFolder);
    }
    return folders;
}
