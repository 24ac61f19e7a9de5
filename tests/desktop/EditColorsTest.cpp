// The viewer's edit fields as the toolkit paints them: the strip's search box is a dark field
// with grey letters, the caption editor a field in the window colour with window-text letters.
#include "app/formMain.h"
#include "app/formThumbs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/NativeWindow.h"
#include "raster/RasterStartup.h"
#include "tests/ExternalTool.h"
#include "tests/app/ImagingStartup.h"

#include <QImage>
#include <QLineEdit>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace {

int Distance(QRgb Pixel, TColor Color) {
    const TColor rgb = ColorToRGB(Color);
    return std::abs(qRed(Pixel) - GetRValue(rgb)) + std::abs(qGreen(Pixel) - GetGValue(rgb)) +
           std::abs(qBlue(Pixel) - GetBValue(rgb));
}

class EditColors : public testing::Test {
protected:
    void SetUp() override {
        raster::InitializeRasterLibrary();
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) FOldConfig = old;
        setenv("XDG_CONFIG_HOME", (Root.Path() / "config").c_str(), 1);
        Main = std::make_unique<TfMain>(nullptr);
        Strip = std::make_unique<TfThumbnails>(nullptr);
    }
    void TearDown() override {
        Strip.reset();
        Main.reset();
        if (FOldConfig)
            setenv("XDG_CONFIG_HOME", FOldConfig->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        raster::FinalizeRasterLibrary();
    }

    ScratchFolder Root;
    std::unique_ptr<TfMain> Main;
    std::unique_ptr<TfThumbnails> Strip;

private:
    std::optional<std::string> FOldConfig;
};

} // namespace

TEST_F(EditColors, TheSearchBoxAndTheCaptionEditorShowTheirColours) {
    Main->Show();
    Strip->Show();
    Main->eCaption->Show();
    struct Case {
        const char* Name;
        TCustomEdit* Edit;
        TColor Back;
        TColor Text;
    };
    for (const Case& c : {Case{"search box", Strip->eSearch, TColor{0x202020}, TColor{0x7D7D7D}},
                          Case{"caption editor", Main->eCaption, clWindow, clWindowText}}) {
        SCOPED_TRACE(c.Name);
        c.Edit->SetText(u"HHHHHHHH");
        auto* field = platform::detail::NativeWindowOf(c.Edit->Handle())
                          ->ClientWidget()
                          ->findChild<QLineEdit*>();
        ASSERT_NE(field, nullptr);
        const QImage image = field->grab().toImage();
        ASSERT_FALSE(image.isNull());
        EXPECT_LE(Distance(image.pixel(1, 1), c.Back), 3);
        // The letters' strokes: the pixel farthest from the field's colour is the text colour.
        QRgb farthest = image.pixel(1, 1);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (Distance(image.pixel(x, y), c.Back) > Distance(farthest, c.Back))
                    farthest = image.pixel(x, y);
        EXPECT_LE(Distance(farthest, c.Text), 24)
            << std::hex << farthest << " for text colour " << ColorToRGB(c.Text);
    }
}
