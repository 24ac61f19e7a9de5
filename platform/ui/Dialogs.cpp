// The standard dialogs on the toolkit's dialogs: file open, colour and the message box.
#include "platform/ui/Dialogs.h"

#include "platform/gfx/QtRuntime.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/NativeWindow.h"
#include "platform/ui/UiInternal.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

// The parts of Text between Separator characters.
std::vector<String> Split(const String& Text, char16_t Separator) {
    std::vector<String> parts;
    size_t start = 0;
    while (true) {
        const size_t end = Text.find(Separator, start);
        parts.push_back(Text.substr(start, end == String::npos ? String::npos : end - start));
        if (end == String::npos) return parts;
        start = end + 1;
    }
}

// Description without a trailing " (...)" group and trailing blanks.
String PlainDescription(String Description) {
    if (!Description.empty() && Description.back() == u')') {
        const size_t open = Description.rfind(u'(');
        if (open != String::npos) Description.erase(open);
    }
    while (!Description.empty() && Description.back() == u' ')
        Description.pop_back();
    return Description;
}

} // namespace

std::vector<String> DialogNameFilters(const String& Filter) {
    std::vector<String> filters;
    if (Filter.empty()) return filters;
    const std::vector<String> parts = Split(Filter, u'|');
    for (size_t i = 0; i < parts.size(); i += 2) {
        String patterns;
        if (i + 1 < parts.size())
            for (const String& pattern : Split(parts[i + 1], u';'))
                if (!pattern.empty()) patterns += (patterns.empty() ? u"" : u" ") + pattern;
        filters.push_back(PlainDescription(parts[i]) + u" (" + patterns + u")");
    }
    return filters;
}

TOpenDialog::TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}

namespace {

// The extension a filter's patterns name when they are exactly one "*.ext"; empty otherwise.
QString SingleExtension(const QString& Filter) {
    const qsizetype open = Filter.lastIndexOf(u'(');
    if (open < 0 || !Filter.endsWith(u')')) return {};
    const QStringList patterns =
        Filter.sliced(open + 1, Filter.size() - open - 2).split(u' ', Qt::SkipEmptyParts);
    if (patterns.size() != 1 || !patterns[0].startsWith(QStringLiteral("*."))) return {};
    const QString ext = patterns[0].mid(2);
    return ext.contains(u'*') || ext.contains(u'?') ? QString() : ext;
}

} // namespace

bool TOpenDialog::Execute() {
    return RunDialog(false);
}

bool TSaveDialog::Execute() {
    return RunDialog(true);
}

bool TOpenDialog::RunDialog(bool Save) {
    EnsureGuiApplication();
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(Options & ofOverwritePrompt));
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    if (!FTitle.empty()) dialog.setWindowTitle(QString::fromStdU16String(FTitle));
    QStringList filters;
    for (const String& filter : DialogNameFilters(FFilter))
        filters.append(QString::fromStdU16String(filter));
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (FFilterIndex >= 1 && FFilterIndex <= filters.size())
            dialog.selectNameFilter(filters[FFilterIndex - 1]);
    }
    const String folder = !FInitialDir.empty() ? FInitialDir : ExtractFilePath(FFileName);
    if (!folder.empty()) dialog.setDirectory(QString::fromStdU16String(folder));
    if (!FFileName.empty())
        dialog.selectFile(QFileInfo(QString::fromStdU16String(FFileName)).fileName());
    if (Save) {
        const auto suffixFor = [this](const QString& Filter) {
            const QString ext = SingleExtension(Filter);
            return ext.isEmpty() ? QString::fromStdU16String(FDefaultExt) : ext;
        };
        dialog.setDefaultSuffix(suffixFor(dialog.selectedNameFilter()));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, suffixFor](const QString& Filter) {
                             dialog.setDefaultSuffix(suffixFor(Filter));
                         });
    }

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    FFileName = QFileInfo(dialog.selectedFiles().first()).absoluteFilePath().toStdU16String();
    const qsizetype shown = filters.indexOf(dialog.selectedNameFilter());
    if (shown >= 0) FFilterIndex = static_cast<int32_t>(shown) + 1;
    return true;
}

namespace {

QWidget* OwnerWidget(HWND Owner) {
    platform::detail::TNativeWindow* window = platform::detail::NativeWindowOf(Owner);
    return window == nullptr || window->Frame == nullptr ? nullptr : window->Frame->window();
}

QMessageBox::Icon IconOf(uint32_t Type) {
    switch (Type & 0xF0) {
    case MB_ICONSTOP:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

int32_t MessageBoxW(HWND Owner, const String& Text, const String& Caption, uint32_t Type) {
    platform::detail::StartWindowLayer();
    QMessageBox box(IconOf(Type), QString::fromStdU16String(Caption),
                    QString::fromStdU16String(Text), QMessageBox::NoButton, OwnerWidget(Owner));
    switch (Type & 0x0F) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    // The program's windows take no input while the box is up; the box itself, a child of its
    // owner's window in the toolkit, stays enabled.
    const platform::detail::TDisabledTaskWindows others(nullptr);
    box.setEnabled(true);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDCANCEL;
    }
}

bool TColorDialog::Execute() {
    platform::detail::StartWindowLayer();
    const TColor rgb = ColorToRGB(Color);
    QColorDialog dialog(QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)));
    if (dialog.exec() != QDialog::Accepted) return false;
    const QColor chosen = dialog.selectedColor();
    Color = RGB(chosen.red(), chosen.green(), chosen.blue());
    return true;
}
