// SPDX-License-Identifier: MIT
// The documented recipes for screen bitmaps, run as written: each must give a file whose dark
// pixels are the lit ones of the screen load. Skipped where the recipe's tools do not work.
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

// A command of the right name on the PATH proves nothing (a stand-in, a broken install): the
// tools count as present only when a tiny conversion of the same kind succeeds, in a folder of
// its own.
bool trialRunWorks(const std::string& trial) {
    ScratchDir dir;
    const std::string script =
        "cd '" + dir.path().string() + "' && { " + trial + "; } >/dev/null 2>&1";
    return std::system(script.c_str()) == 0;
}

bool imageMagickWorks() {
    return trialRunWorks(
        "convert -version | grep -q ImageMagick && convert -size 4x2 xc:black trial.png && "
        "convert trial.png -monochrome BMP3:trial.bmp && test -s trial.bmp");
}

bool netpbmWorks() {
    return trialRunWorks(
        "pbmmake -black 4 2 | pnmtopng > trial.png && pngtopnm trial.png | pamscale 2 | "
        "pamditherbw | pamtopnm | ppmtobmp > trial.bmp && test -s trial.bmp");
}

// The shell lines of the fenced block that follows "<!-- recipe: NAME -->" in the screen
// bitmap document.
std::string readmeRecipe(const std::string& name) {
    std::ifstream readme(sourcePath("docs/screens.md"));
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
    ASSERT_FALSE(recipe.empty()) << "no recipe " << name << " in docs/screens.md";
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
    if (!imageMagickWorks()) {
        GTEST_SKIP() << "ImageMagick's convert does not work here";
    }
    checkRecipe("imagemagick", "convert picture.pgm picture.png", "screen.bmp");
}

TEST(BitmapRecipes, ImageMagickGreymap) {
    if (!imageMagickWorks()) {
        GTEST_SKIP() << "ImageMagick's convert does not work here";
    }
    checkRecipe("imagemagick-greymap", "convert picture.pgm picture.png", "screen.pgm");
}

TEST(BitmapRecipes, NetpbmBitmap) {
    if (!netpbmWorks()) {
        GTEST_SKIP() << "netpbm's tools do not work here";
    }
    checkRecipe("netpbm", "pnmtopng picture.pgm > picture.png", "screen.bmp");
}

}  // namespace
