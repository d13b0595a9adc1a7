// TEMPORARY until the image layer lands.
#include "audio/screen_bitmap.h"

#include "app/fatal.h"

void applyScreenBitmap(TapeLoad&, int, const std::string& bitmapName) {
    kelvanto::fatal("Unable to load bitmap " + bitmapName + "\n");
}
