// SPDX-License-Identifier: MIT
// Reading image files into a TImage: file names, the loader that picks a reader by the
// name's extension, and the readers of Windows bitmaps, raw greymaps and Photo CD images.
#pragma once

#include <cstdio>

#include "ipl/kernel_c/ipl_types.h"

namespace ipl {

// All texts null.
void k_InitFileInfo(TFileInfo* pInfo);

// Frees the texts and nulls them.
void k_EmptyFileInfo(TFileInfo* pInfo);

// Splits a name into directory part (ending with '/', or empty), file name and extension
// (after the file name's last dot, or empty), each malloc'd for the caller to free. Either
// kind of slash separates directories.
bool k_SplitFileName(const char* pName, char** ppPath, char** ppFileName, char** ppExtension);

// Fills the file information from a name.
bool k_SetFileAndPath(const char* pName, TFileInfo* pInfo);

// Reads a .bmp, .pgm or .pcd file (extension in any case) into the image. On success the
// image is the file's picture, with its row table, file information and a history entry.
bool k_Load(const char* pPathFileName, TImage* pImage);

// The readers: each takes a file open for reading bytes, positioned at its start, fills the
// image's sizes, palette and pixels, and reports its failure. k_Load closes the file.
bool k_LoadBMP(std::FILE* fp, TImage* pImage);
bool k_LoadPGM(std::FILE* fp, TImage* pImage);
bool k_LoadPCD(std::FILE* fp, TImage* pImage);

}  // namespace ipl
