// Picture captions: the one-line captions of a folder's pictures, kept in the folder's hidden
// ".description" file (UTF-8 with a byte-order mark, a "name=caption" line per picture), and the
// edit of one picture's caption.
#pragma once

#include "platform/rtl/StringList.h"

#include <optional>
#include <string>
#include <vector>

// The caption file of Folder.
String CaptionFileName(const String& Folder);

// Index of the first line that begins with FileName followed by "=", case aside; -1 when none.
// A name holding "=" finds its own line this way, where the text before the line's first "="
// would not.
int32_t IndexOfCaption(const TStringList& Lines, const String& FileName);

class TCaptions {
public:
    // The lines of the open folder's caption file (the "Captions" list of the main window).
    const TStringList& Lines() const { return FLines; }
    const String& Folder() const { return FFolder; }

    // Reads Folder's caption file (none: no lines). An open edit is dropped first. A file that
    // exists but cannot be read leaves no lines and returns false; the captions then stay
    // read-only until the next load, so that no save can replace the file with fewer lines.
    // A line that is not UTF-8 (a file another program wrote in a single-byte code page) is read
    // as Windows-1252 and written back with the bytes it had until it is edited, so that a save
    // never changes another picture's caption; such a file gets no byte-order mark added.
    bool LoadCaptions(const String& Folder);
    // Forgets the folder and its lines; an open edit is dropped.
    void Clear();
    // Writes the lines to the caption file (through a new file renamed over it), or deletes the
    // file when no line is left. Nothing without a folder or when the file could not be read.
    // Raises the file errors of the write.
    void SaveCaptions() const;

    // The caption of the picture at Path (a full path in the open folder); none without a line.
    std::optional<String> CaptionOf(const String& Path) const;

    // Starts editing the caption of the picture at Path (a full path). False, and nothing
    // changes, when Path is empty or an edit is already open.
    bool BeginCaptionEdit(const String& Path);
    bool IsEditing() const { return FEditing; }
    const String& EditPath() const { return FEditPath; }
    // Esc sets it, Enter clears it; the commit then drops or stores the text.
    void SetEditCancelled(bool Value) { FEditCancelled = Value; }
    // Ends the edit. Unless cancelled: a picture without a line gets "name=Text" (also for an
    // empty text); with a line, an empty text deletes it and any other text replaces its value;
    // then the file is saved. An edit of a picture outside the open folder writes nothing.
    // Returns the caption label's new text: Text, except when a line was deleted or nothing was
    // stored (no value).
    std::optional<String> CommitCaptionEdit(const String& Text);

    // Deletes the caption line of the picture at Path and saves, when it had one.
    void RemoveCaption(const String& Path);

private:
    bool InFolder(const String& Path) const;
    void EndEdit();
    void ReadCaptionFile(const String& FileName);
    // The line changes: each keeps FBytes in step with FLines.
    void AddLine(const String& Line);
    void PutLine(int32_t Index, const String& Line);
    void DeleteLine(int32_t Index);

    String FFolder;
    TStringList FLines;
    // Per line: the bytes it was read from when they were not UTF-8, until the line changes.
    std::vector<std::optional<std::string>> FBytes;
    bool FHadMark = false;
    bool FReadOnly = false;
    bool FEditing = false;
    bool FEditCancelled = false;
    String FEditPath;
};
