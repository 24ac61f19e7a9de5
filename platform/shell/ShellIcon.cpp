// File icons through the toolkit's MIME database and icon themes.
#include "platform/shell/ShellIcon.h"

#include "platform/gfx/QtRuntime.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QMimeDatabase>
#include <QStandardPaths>

#include <cstring>
#include <mutex>
#include <vector>

namespace {

// Icon lookups and pixmaps are made on one thread at a time: loader threads ask too.
std::mutex IconLock;

// A headless session names no theme (or only the fallback) and searches no icon folders: the
// desktop's usual theme, which inherits hicolor, from the data folders' "icons".
void UseDesktopThemes() {
    const QString theme = QIcon::themeName();
    if (theme.isEmpty() || theme == QStringLiteral("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    QStringList paths = QIcon::themeSearchPaths();
    const QStringList folders =
        QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                  QStandardPaths::LocateDirectory);
    for (const QString& folder : folders)
        if (!paths.contains(folder)) paths.append(folder);
    QIcon::setThemeSearchPaths(paths);
}

QIcon FileIcon(const QFileInfo& File) {
    static std::once_flag once;
    std::call_once(once, UseDesktopThemes);
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(File);
    QIcon icon = QIcon::fromTheme(mime.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(mime.genericIconName());
    if (icon.isNull()) icon = QFileIconProvider().icon(File);
    return icon;
}

// The icon of a 32-bit picture with straight alpha: its colour DIB section and a mask whose
// bits are set where the picture is fully transparent.
HICON IconOfImage(const QImage& Image) {
    const int32_t w = Image.width(), h = Image.height();
    BITMAPINFO header{};
    header.bmiHeader.biWidth = w;
    header.bmiHeader.biHeight = h;
    header.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(nullptr, &header, DIB_RGB_COLORS, &bits, nullptr, 0);
    const int32_t maskStride = (w + 15) / 16 * 2;
    std::vector<uint8_t> maskBits(static_cast<size_t>(maskStride) * h, 0);
    if (colour == nullptr) return nullptr;
    auto* rows = static_cast<uint8_t*>(bits);
    for (int32_t y = 0; y < h; ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(Image.constScanLine(y));
        uint8_t* dst = rows + static_cast<ptrdiff_t>(h - 1 - y) * w * 4;
        for (int32_t x = 0; x < w; ++x) {
            dst[4 * x] = static_cast<uint8_t>(qBlue(src[x]));
            dst[4 * x + 1] = static_cast<uint8_t>(qGreen(src[x]));
            dst[4 * x + 2] = static_cast<uint8_t>(qRed(src[x]));
            dst[4 * x + 3] = static_cast<uint8_t>(qAlpha(src[x]));
            if (qAlpha(src[x]) == 0)
                maskBits[static_cast<size_t>(y) * maskStride + x / 8] |=
                    static_cast<uint8_t>(0x80 >> (x & 7));
        }
    }
    HBITMAP mask = CreateBitmap(w, h, 1, 1, maskBits.data());
    ICONINFO info;
    info.hbmColor = colour;
    info.hbmMask = mask;
    HICON icon = mask != nullptr ? CreateIconIndirect(&info) : nullptr;
    DeleteObject(colour);
    if (mask != nullptr) DeleteObject(mask);
    return icon;
}

HICON LargeIconOf(const QFileInfo& File) {
    std::lock_guard guard(IconLock);
    const QIcon icon = FileIcon(File);
    if (icon.isNull()) return nullptr;
    const QSize size(ShellLargeIconSize, ShellLargeIconSize);
    QImage image = icon.pixmap(size).toImage();
    if (image.isNull()) return nullptr;
    if (image.size() != size)
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return IconOfImage(image.convertToFormat(QImage::Format_ARGB32));
}

} // namespace

uintptr_t SHGetFileInfoW(const char16_t* Path, uint32_t FileAttributes, SHFILEINFOW* Info,
                         uint32_t InfoSize, uint32_t Flags) {
    (void)FileAttributes;
    if (Path == nullptr || Info == nullptr || InfoSize < sizeof(SHFILEINFOW) ||
        (Flags & SHGFI_ICON) == 0)
        return 0;
    const QFileInfo file(QString::fromUtf16(Path));
    if (!file.exists()) return 0;
    EnsureGuiApplication();
    Info->hIcon = LargeIconOf(file);
    return Info->hIcon != nullptr ? 1 : 0;
}
