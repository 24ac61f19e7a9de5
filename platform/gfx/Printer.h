// The printer of the class library, stood in for by a document writer: every page is a white
// 24-bit bitmap drawn through the printer's canvas, and EndDoc writes the pages as a PDF file
// (through the toolkit's print support) or, for any other extension, the first page as an image
// file.
#pragma once

#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Canvas.h"
#include "platform/rtl/SysUtils.h"

#include <memory>
#include <vector>

class TPrinter : public TObject {
public:
    TPrinter();
    ~TPrinter() override;
    TPrinter(const TPrinter&) = delete;
    TPrinter& operator=(const TPrinter&) = delete;

    // Where EndDoc writes the document: ".pdf" gives a PDF file of every page, other extensions
    // the first page in that image format ("png", "bmp", "ppm", ...).
    String FileName;
    String Title;

    // Page size in device pixels and the resolution the PDF pages are measured with; they take
    // effect at the next BeginDoc. By default an A4 page at 150 dots per inch.
    void SetPageSize(int32_t Width, int32_t Height);
    void SetResolution(int32_t Dpi);
    int32_t PageWidth() const { return FPageWidth; }
    int32_t PageHeight() const { return FPageHeight; }
    int32_t Resolution() const { return FDpi; }

    // Starts a document with one white page; raises EPrinter while one is being printed.
    void BeginDoc();
    // Adds a white page and draws on it from now on.
    void NewPage();
    // Writes the document; raises EPrinter when no document is open or the file cannot be
    // written (the pages are dropped either way).
    void EndDoc();
    // Drops the document without writing it.
    void Abort();
    bool Printing() const { return !FPages.empty(); }
    int32_t PageNumber() const { return static_cast<int32_t>(FPages.size()); }
    // The canvas of the current page; raises EPrinter while no document is open.
    TCanvas* Canvas();
    // The current page's pixels (nil while no document is open).
    TBitmap* Page() const { return FPages.empty() ? nullptr : FPages.back().get(); }

private:
    bool WritePdf() const;
    bool WriteImage() const;

    int32_t FPageWidth = 1240;
    int32_t FPageHeight = 1754;
    int32_t FDpi = 150;
    std::vector<std::unique_ptr<TBitmap>> FPages;
};

class EPrinter : public Exception {
public:
    using Exception::Exception;
};
