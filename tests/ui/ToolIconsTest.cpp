// The tool icons, drawn when shown: every size a button asks for, and the disabled look.

#include "platform/ui/widgets/ToolIcons.h"

#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {
int Drawn(const QImage& image) {
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            drawn += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return drawn;
}
} // namespace

TEST(ToolIconsTest, EachIconIsDrawnAtTheSizeAskedAndGreyedWhenDisabled) {
    using Kind = ToolIcons::Kind;
    const std::pair<const char*, QIcon> icons[] = {
        {"Print", ToolIcons::Get(Kind::Print)}, {"First", ToolIcons::Get(Kind::First)},
        {"Last", ToolIcons::Get(Kind::Last)},   {"Close", ToolIcons::Get(Kind::Close)},
        {"Z", ToolIcons::Letter('Z')},
    };
    for (const auto& [name, icon] : icons) {
        for (const int side : {18, 24, 48}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(side));
            const QImage normal = icon.pixmap(QSize(side, side), 1.0).toImage();
            const QImage disabled = icon.pixmap(QSize(side, side), 1.0, QIcon::Disabled).toImage();
            EXPECT_EQ(normal.size(), QSize(side, side));
            EXPECT_EQ(disabled.size(), QSize(side, side));
            EXPECT_GT(Drawn(normal), side * side / 20) << "a drawing, not an empty square";
            EXPECT_EQ(Drawn(disabled), Drawn(normal)) << "the same drawing";
            EXPECT_NE(disabled, normal) << "in grey";
        }
    }
    EXPECT_NE(ToolIcons::Get(Kind::First).pixmap(24).toImage(),
              ToolIcons::Get(Kind::Last).pixmap(24).toImage());
}
