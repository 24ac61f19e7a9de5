// The language manager: the viewer's texts come from language files "lang/<name>.lang" beside the
// program. It lists the languages, picks one (the saved choice, else the system's language, else
// English), reads its file and answers look-ups of message keys.
//
// A language file is UTF-8 text. Before its first window section ("[formMain]", any line opening
// with "[" other than "[RES]") come the messages, KEY=text, where backslash-n and backslash-t
// stand for a line feed and a tab and lines opening with ";" are comments; the window sections
// that follow hold the captions of the windows, which they translate.
#pragma once

#include "platform/rtl/StringList.h"

class TForm;

class TSVLangManager {
public:
    // BaseFolder holds the "lang" folder; empty means the program's folder. An empty Language
    // takes the default language.
    TSVLangManager(const String& ALanguage, const String& ABaseFolder);

    // Refills Languages with the names of the language files.
    void ScanLanguageFiles();
    // The system's language when it has a file, else English, else the first language listed;
    // "English" when there are none.
    String DetectDefaultLanguage() const;
    // Loads Name's file unless Name is the current language; a name without a file takes the
    // default language.
    void SetLanguage(const String& Name);
    void LoadLanguageFile(const String& Name);
    // The message Key (case aside) with its escapes expanded; two fixed English sentences when the
    // loaded file has no such message.
    String GetString(const String& Key) const;
    // Rewrites the captions and hints of Form and its components from the file's section
    // SectionName: lines "Form.Caption=text" and "component.Kind=text".
    void TranslateForm(const String& SectionName, TForm* Form) const;

    TStringList Strings;   // the message lines, KEY=text
    TStringList Sections;  // the lines from the first window section to the end
    TStringList Languages; // language names, the file names without ".lang"
    String Language;
    String BaseFolder;

private:
    String LangFolder() const;
};

// The program's language manager, from the main window's construction to its destruction.
extern TSVLangManager* LangManager;
// LangManager's message Key, fetched when a message is shown.
String LangStr(const String& Key);

// Dest = the lines of Source after the line "[Name]" (case aside) up to the next line opening
// with "["; empty without that line.
void ExtractSection(const String& Name, const TStringList& Source, TStringList& Dest);
// Head = the text before the first Separator, Tail = the text after it; without one Head = Line
// and Tail is empty.
void SplitAtSeparator(const String& Line, char16_t Separator, String& Head, String& Tail);
// List = the parts of Text between occurrences of Char, empty parts included.
void SplitByChar(const String& Text, char16_t Char, TStringList& List);
// The English name of the language with the ISO 639 code Code (case aside); "" when unknown.
String LanguageNameFromIsoCode(const String& Code);
