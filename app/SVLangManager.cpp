// The language manager and its text helpers.
#include "app/SVLangManager.h"

#include "components/SVLabel.h"
#include "components/SVPngButton.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TextUtils.h"
#include "platform/rtl/WinApi.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"

#include <algorithm>
#include <array>
#include <utility>

TSVLangManager* LangManager = nullptr;

namespace {

const std::array<std::pair<const char16_t*, const char16_t*>, 124> IsoLanguages{{
    {u"af", u"Afrikaans"}, {u"am", u"Amharic"}, {u"ar", u"Arabic"}, {u"arn", u"Mapudungun"},
    {u"as", u"Assamese"}, {u"az", u"Azeri"}, {u"ba", u"Bashkir"}, {u"be", u"Belarusian"},
    {u"bg", u"Bulgarian"}, {u"bn", u"Bengali"}, {u"bo", u"Tibetan"}, {u"br", u"Breton"},
    {u"bs", u"Bosnian"}, {u"ca", u"Catalan"}, {u"co", u"Corsican"}, {u"cs", u"Czech"},
    {u"cy", u"Welsh"}, {u"da", u"Danish"}, {u"de", u"German"}, {u"dsb", u"Lower Sorbian"},
    {u"dv", u"Divehi"}, {u"el", u"Greek"}, {u"en", u"English"}, {u"es", u"Spanish"},
    {u"et", u"Estonian"}, {u"eu", u"Basque"}, {u"fa", u"Persian"}, {u"fi", u"Finnish"},
    {u"fil", u"Filipino"}, {u"fo", u"Faroese"}, {u"fr", u"French"}, {u"fy", u"Frisian"},
    {u"ga", u"Irish"}, {u"gl", u"Galician"}, {u"gsw", u"Alsatian"}, {u"gu", u"Gujarati"},
    {u"ha", u"Hausa"}, {u"he", u"Hebrew"}, {u"hi", u"Hindi"}, {u"hr", u"Croatian"},
    {u"hsb", u"Upper Sorbian"}, {u"hu", u"Hungarian"}, {u"hy", u"Armenian"},
    {u"id", u"Indonesian"}, {u"ig", u"Igbo"}, {u"ii", u"Yi"}, {u"is", u"Icelandic"},
    {u"it", u"Italian"}, {u"iu", u"Inuktitut"}, {u"iv", u"Invariant Language"},
    {u"ja", u"Japanese"}, {u"ka", u"Georgian"}, {u"kk", u"Kazakh"}, {u"kl", u"Greenlandic"},
    {u"km", u"Khmer"}, {u"kn", u"Kannada"}, {u"ko", u"Korean"}, {u"kok", u"Konkani"},
    {u"ky", u"Kyrgyz"}, {u"lb", u"Luxembourgish"}, {u"lo", u"Lao"}, {u"lt", u"Lithuanian"},
    {u"lv", u"Latvian"}, {u"mi", u"Maori"}, {u"mk", u"Macedonian"}, {u"ml", u"Malayalam"},
    {u"mn", u"Mongolian"}, {u"moh", u"Mohawk"}, {u"mr", u"Marathi"}, {u"ms", u"Malay"},
    {u"mt", u"Maltese"}, {u"nb", u"Norwegian(Bokmål)"}, {u"ne", u"Nepali"}, {u"nl", u"Dutch"},
    {u"nn", u"Norwegian(Nynorsk)"}, {u"nso", u"Sesotho sa Leboa"}, {u"oc", u"Occitan"},
    {u"or", u"Oriya"}, {u"pa", u"Punjabi"}, {u"pl", u"Polish"}, {u"prs", u"Dari"},
    {u"ps", u"Pashto"}, {u"pt", u"Portuguese"}, {u"qps", u"Pseudo"}, {u"qut", u"K'iche"},
    {u"quz", u"Quechua"}, {u"rm", u"Romansh"}, {u"ro", u"Romanian"}, {u"ru", u"Russian"},
    {u"rw", u"Kinyarwanda"}, {u"sa", u"Sanskrit"}, {u"sah", u"Yakut"}, {u"se", u"Sami(Northern)"},
    {u"si", u"Sinhala"}, {u"sk", u"Slovak"}, {u"sl", u"Slovenian"}, {u"sma", u"Sami(Southern)"},
    {u"smj", u"Sami(Lule)"}, {u"smn", u"Sami(Inari)"}, {u"sms", u"Sami(Skolt)"},
    {u"sq", u"Albanian"}, {u"sr", u"Serbian"}, {u"sv", u"Swedish"}, {u"sw", u"Kiswahili"},
    {u"syr", u"Syriac"}, {u"ta", u"Tamil"}, {u"te", u"Telugu"}, {u"tg", u"Tajik"},
    {u"th", u"Thai"}, {u"tk", u"Turkmen"}, {u"tn", u"Setswana"}, {u"tr", u"Turkish"},
    {u"tt", u"Tatar"}, {u"tzm", u"Tamazight"}, {u"ug", u"Uighur"}, {u"uk", u"Ukrainian"},
    {u"ur", u"Urdu"}, {u"uz", u"Uzbek"}, {u"vi", u"Vietnamese"}, {u"wo", u"Wolof"},
    {u"xh", u"isiXhosa"}, {u"yo", u"Yoruba"}, {u"zh", u"Chinese"}, {u"zu", u"isiZulu"},
}};

const String MissingString =
    u"Requested string does not exist in this language file.\\nOr language file is corrupted.";

bool SameText(const String& A, const String& B) {
    return LowerCase(A) == LowerCase(B);
}

bool Contains(const TStringList& List, const String& Name) {
    for (int32_t i = 0; i < List.Count(); ++i)
        if (SameText(List[i], Name)) return true;
    return false;
}

bool IsSectionHeader(const String& Line) {
    return !Line.empty() && Line[0] == u'[' && !SameText(Line, u"[RES]");
}

// Backslash-n and backslash-t become a line feed and a tab.
String Unescape(const String& Text) {
    String out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) {
        const bool escape =
            Text[i] == u'\\' && i + 1 < Text.size() && (Text[i + 1] == u'n' || Text[i + 1] == u't');
        if (escape) {
            out.push_back(Text[i + 1] == u'n' ? u'\n' : u'\t');
            ++i;
        } else {
            out.push_back(Text[i]);
        }
    }
    return out;
}

// The caption of a control that has one; false for a component without.
bool SetCaptionOf(TComponent* Component, const String& Value) {
    if (auto* label = dynamic_cast<TCustomLabel*>(Component)) {
        label->SetCaption(Value);
        return true;
    }
    if (auto* panel = dynamic_cast<TCustomPanel*>(Component)) {
        panel->SetCaption(Value);
        return true;
    }
    if (auto* button = dynamic_cast<TSVPngButton*>(Component)) {
        button->SetCaption(Value);
        return true;
    }
    if (auto* button = dynamic_cast<TButton*>(Component)) {
        button->SetCaption(Value);
        return true;
    }
    if (auto* box = dynamic_cast<TGroupBox*>(Component)) {
        box->SetCaption(Value);
        return true;
    }
    return false;
}

// The kinds whose value is the component's caption.
bool IsCaptionKind(const String& Kind) {
    for (const char16_t* kind : {u"Label", u"CheckBox", u"Button", u"ToolButton", u"RadioButton",
                                 u"TabSheet", u"GroupBox", u"RadioGroup"})
        if (Kind == kind) return true;
    return false;
}

// The component named Name (case aside) among Form's.
TComponent* FindComponentCaseAside(const TForm& Form, const String& Name) {
    for (int32_t i = 0; i < Form.ComponentCount(); ++i)
        if (SameText(Form.Components(i)->Name(), Name)) return Form.Components(i);
    return nullptr;
}

} // namespace

TSVLangManager::TSVLangManager(const String& ALanguage, const String& ABaseFolder)
    : BaseFolder(ABaseFolder) {
    ScanLanguageFiles();
    SetLanguage(ALanguage.empty() ? DetectDefaultLanguage() : ALanguage);
}

String TSVLangManager::LangFolder() const {
    const String base = BaseFolder.empty() ? ExtractFilePath(GetModuleFileNameW()) : BaseFolder;
    return IncludeTrailingPathDelimiter(base) + u"lang";
}

void TSVLangManager::ScanLanguageFiles() {
    Languages.Clear();
    // Sorted case aside, as the folder listings of the system the files come from return them.
    std::vector<String> names = FindFiles(LangFolder(), {u".lang"});
    std::sort(names.begin(), names.end(),
              [](const String& A, const String& B) { return LowerCase(A) < LowerCase(B); });
    for (const String& name : names)
        Languages.Add(name.substr(0, name.size() - 5));
}

String TSVLangManager::DetectDefaultLanguage() const {
    const String name =
        LanguageNameFromIsoCode(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME));
    if (!name.empty() && Contains(Languages, name)) return name;
    if (Contains(Languages, u"English") || Languages.Count() == 0) return u"English";
    // Without English the first language listed: a missing file never stops the program.
    return Languages[0];
}

void TSVLangManager::SetLanguage(const String& Name) {
    if (Name == Language) return;
    Language = Contains(Languages, Name) ? Name : DetectDefaultLanguage();
    LoadLanguageFile(Language);
}

void TSVLangManager::LoadLanguageFile(const String& Name) {
    if (Languages.Count() == 0) return;
    Strings.Clear();
    Sections.Clear();
    TStringList lines;
    try {
        lines.LoadFromFile(IncludeTrailingPathDelimiter(LangFolder()) + Name + u".lang",
                           TTextEncoding::UTF8);
    } catch (const EStreamError&) {
        return; // an unreadable file leaves every message at the fall-back
    }
    int32_t first = 0;
    while (first < lines.Count() && !IsSectionHeader(lines[first]))
        ++first;
    // A file without window sections is all messages.
    for (int32_t i = 0; i < first; ++i)
        if (!lines[i].empty() && lines[i][0] != u';') Strings.Add(lines[i]);
    for (int32_t i = first; i < lines.Count(); ++i)
        Sections.Add(lines[i]);
}

String TSVLangManager::GetString(const String& Key) const {
    const int32_t index = Strings.IndexOfName(Key);
    return Unescape(index < 0 ? MissingString : Strings.ValueFromIndex(index));
}

String LangStr(const String& Key) {
    return LangManager != nullptr ? LangManager->GetString(Key) : Unescape(MissingString);
}

void ExtractSection(const String& Name, const TStringList& Source, TStringList& Dest) {
    Dest.Clear();
    const String header = u"[" + Name + u"]";
    int32_t i = 0;
    while (i < Source.Count() && !(!Source[i].empty() && Source[i][0] == u'[' &&
                                   SameText(Source[i], header)))
        ++i;
    for (++i; i < Source.Count() && (Source[i].empty() || Source[i][0] != u'['); ++i)
        Dest.Add(Source[i]);
}

void SplitAtSeparator(const String& Line, char16_t Separator, String& Head, String& Tail) {
    const size_t at = Line.find(Separator);
    Head = Line.substr(0, at);
    Tail = at == String::npos ? String() : Line.substr(at + 1);
}

void SplitByChar(const String& Text, char16_t Char, TStringList& List) {
    List.Clear();
    size_t start = 0;
    for (size_t at = Text.find(Char); at != String::npos; at = Text.find(Char, start)) {
        List.Add(Text.substr(start, at - start));
        start = at + 1;
    }
    List.Add(Text.substr(start));
}

String LanguageNameFromIsoCode(const String& Code) {
    const String code = LowerCase(Code);
    for (const auto& [iso, name] : IsoLanguages)
        if (code == iso) return name;
    return String();
}

void TSVLangManager::TranslateForm(const String& SectionName, TForm* Form) const {
    TStringList lines;
    ExtractSection(SectionName, Sections, lines);
    for (int32_t i = 0; i < lines.Count(); ++i) {
        String key, value;
        SplitAtSeparator(lines[i], u'=', key, value);
        if (SameText(key, u"Form.Caption")) {
            Form->SetCaption(value);
            continue;
        }
        String name, kind;
        SplitAtSeparator(key, u'.', name, kind);
        TComponent* component = FindComponentCaseAside(*Form, name);
        if (component == nullptr) continue;
        // Kinds are matched with their case; the list kinds name components this program
        // does not have, so they change nothing.
        if (IsCaptionKind(kind) || kind == u"SVLabel") {
            SetCaptionOf(component, value);
        } else if (kind == u"Menu") {
            if (auto* item = dynamic_cast<TMenuItem*>(component)) item->SetCaption(value);
        } else if (kind == u"Hint") {
            if (auto* control = dynamic_cast<TControl*>(component)) control->Hint = value;
        }
    }
}
