// The standard dialogs on the toolkit's dialogs.
#include "platform/ui/Dialogs.h"

#include "platform/ui/NativeWindow.h"
#include "platform/ui/UiInternal.h"

#include <QColorDialog>
#include <QMessageBox>

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
