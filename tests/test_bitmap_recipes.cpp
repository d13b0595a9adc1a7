// The README's recipes for screen bitmaps, run as written: each must give a file whose dark
// pixels are the lit ones of the screen load. Skipped where the recipe's tools are missing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/screen_bitmap.h"
#include "tests/support.h"

namespace {

using testing_support::ScopedWorkingDir;
using testing_support::ScratchDir;
using testing_support::sourcePath;
using testing_support::writeFile;

bool haveCommand(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The shell lines of the fenced block that follows "<!-- recipe: NAME -->" in the README.
std::string readmeRecipe(const std::string& name) {
    std::ifstream readme(sourcePath("README.md"));
    const std::string marker = "<!-- recipe: " + name + " -->";
    std::string line;
    while (std::getline(readme, line) && line != marker) {
    }
    std::string recipe;
    bool inBlock = false;
    while (std::getline(readme, line)) {
        if (line.rfind("```", 0) == 0) {
            if (inBlock) {
                return recipe;
            }
            inBlock = true;
        } else if (inBlock) {
            recipe += line + "\n";
        }
    }
    return std::string();
}

// 160 x 90 grey picture: in the top half the left 80 columns black, the rest white; the
// bottom half a gradient from black to white. For this picture ImageMagick's
// two-colour palettes put white first, which a recipe must not let through.
std::string testPicture() {
    std::ostringstream pgm;
    pgm << "P5\n160 90\n255\n";
    for (int y = 0; y < 90; ++y) {
        for (int x = 0; x < 160; ++x) {
            const int value = y < 45 ? (x < 80 ? 0 : 255) : x * 255 / 159;
            pgm.put(static_cast<char>(value));
        }
    }
    return pgm.str();
}

// Makes picture.png, runs the recipe and packs its screen.bmp (or the given output) into a
// load; checks the 40 rows of the top half that no dithering of the gradient reaches.
void checkRecipe(const std::string& name, const std::string& toPng, const std::string& output) {
    const std::string recipe = readmeRecipe(name);
    ASSERT_FALSE(recipe.empty()) << "no recipe " << name << " in README.md";
    ScratchDir dir;
    const ScopedWorkingDir working(dir.path());
    writeFile(dir.file("picture.pgm"), testPicture());
    ASSERT_EQ(std::system((toPng + " 2>/dev/null").c_str()), 0) << toPng;
    ASSERT_EQ(std::system(("set -e\n" + recipe + " 2>/dev/null").c_str()), 0) << recipe;
    TapeLoad load;
    load.dataBytes.fill(0x5A);
    testing::internal::CaptureStdout();
    applyScreenBitmap(load, 1801, output);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("Width=160 Height=90"), std::string::npos) << printed;
    for (int row = 0; row < 40; ++row) {
        for (int group = 0; group < 20; ++group) {
            const auto index = static_cast<std::size_t>(1800 + 20 * row + group);
            ASSERT_EQ(load.dataBytes[index], group < 10 ? 0xFF : 0x00)
                << name << ": row " << row << ", group " << group;
        }
    }
}

TEST(BitmapRecipes, ImageMagickBitmap) {
    if (!haveCommand("convert")) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    checkRecipe("imagemagick", "convert picture.pgm picture.png", "screen.bmp");
}

TEST(BitmapRecipes, ImageMagickGreymap) {
    if (!haveCommand("convert")) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    checkRecipe("imagemagick-greymap", "convert picture.pgm picture.png", "screen.pgm");
}

TEST(BitmapRecipes, NetpbmBitmap) {
    for (const std::string tool :
         {"pnmtopng", "pngtopnm", "pamscale", "pamditherbw", "pamtopnm", "ppmtobmp"}) {
        if (!haveCommand(tool)) {
            GTEST_SKIP() << "netpbm's " << tool << " is not installed";
        }
    }
    checkRecipe("netpbm", "pnmtopng picture.pgm > picture.png", "screen.bmp");
}

}  // namespace
