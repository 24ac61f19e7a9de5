// The printer stand-in: pages in memory, written as PDF through the toolkit's print support or as
// an image file.
#include "platform/gfx/Printer.h"

#include "platform/gfx/QtRuntime.h"

#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QString>

#include <cstring>

namespace {

QString ToQString(const String& Text) {
    return QString::fromUtf16(Text.data(), static_cast<qsizetype>(Text.size()));
}

// A copy of a 24-bit page as a toolkit image (the page's rows are blue, green, red).
QImage PageImage(TBitmap& Page) {
    QImage image(Page.Width(), Page.Height(), QImage::Format_BGR888);
    for (int32_t y = 0; y < Page.Height(); ++y)
        std::memcpy(image.scanLine(y), Page.ScanLine(y), static_cast<size_t>(Page.Width()) * 3);
    return image;
}

} // namespace

TPrinter::TPrinter() = default;
TPrinter::~TPrinter() = default;

void TPrinter::SetPageSize(int32_t Width, int32_t Height) {
    if (Width > 0 && Height > 0) {
        FPageWidth = Width;
        FPageHeight = Height;
    }
}

void TPrinter::SetResolution(int32_t Dpi) {
    if (Dpi > 0) FDpi = Dpi;
}

void TPrinter::BeginDoc() {
    if (Printing()) throw EPrinter(u"Printing in progress");
    NewPage();
}

void TPrinter::NewPage() {
    auto page = std::make_unique<TBitmap>();
    page->SetPixelFormat(pf24bit);
    page->SetSize(FPageWidth, FPageHeight);
    page->Canvas()->Brush()->SetColor(clWhite);
    page->Canvas()->FillRect(Rect(0, 0, FPageWidth, FPageHeight));
    FPages.push_back(std::move(page));
}

TCanvas* TPrinter::Canvas() {
    if (!Printing()) throw EPrinter(u"Printer is not currently printing");
    return FPages.back()->Canvas();
}

void TPrinter::Abort() {
    FPages.clear();
}

void TPrinter::EndDoc() {
    if (!Printing()) throw EPrinter(u"Printer is not currently printing");
    EnsureGuiApplication();
    const bool pdf =
        QFileInfo(ToQString(FileName)).suffix().compare(u"pdf", Qt::CaseInsensitive) == 0;
    const bool written = pdf ? WritePdf() : WriteImage();
    FPages.clear();
    if (!written) throw EPrinter(u"Cannot write the printed document to " + FileName);
}

bool TPrinter::WritePdf() const {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(ToQString(FileName));
    printer.setDocName(ToQString(Title));
    printer.setResolution(FDpi);
    printer.setPageSize(QPageSize(
        QSizeF(static_cast<double>(FPageWidth) / FDpi, static_cast<double>(FPageHeight) / FDpi),
        QPageSize::Inch));
    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    for (size_t i = 0; i < FPages.size(); ++i) {
        if (i > 0 && !printer.newPage()) return false;
        painter.drawImage(QRect(0, 0, FPageWidth, FPageHeight), PageImage(*FPages[i]));
    }
    return painter.end();
}

bool TPrinter::WriteImage() const {
    return PageImage(*FPages.front()).save(ToQString(FileName));
}
