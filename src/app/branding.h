// The texts and artwork a vendor may brand at build time; the defaults are the product's own.
#ifndef UNINST_APP_BRANDING_H
#define UNINST_APP_BRANDING_H

// The build writes the vendor's values into this header (see cmake/branding.cmake); every
// value it leaves out keeps the default below. Read by the code and by the resource script.
#ifdef UNINST_BRANDED
#include "uninst_branding.h"
#endif

#ifndef UNINST_WINDOW_TITLE
#define UNINST_WINDOW_TITLE "Uninstall Quillmere"
#endif
#ifndef UNINST_WINDOW_CLASS
#define UNINST_WINDOW_CLASS "zelkor"
#endif

// Version record.
#ifndef UNINST_PRODUCT_NAME
#define UNINST_PRODUCT_NAME "Quillmere"
#endif
#ifndef UNINST_FILE_DESCRIPTION
#define UNINST_FILE_DESCRIPTION "Uninstall Quillmere"
#endif
#ifndef UNINST_COMPANY
#define UNINST_COMPANY "Quillmere"
#endif
#ifndef UNINST_COPYRIGHT
#define UNINST_COPYRIGHT "Copyright (C) Quillmere"
#endif
#ifndef UNINST_VERSION_TEXT
#define UNINST_VERSION_TEXT "1.0.0.0"
#endif
#ifndef UNINST_VERSION_NUMBERS
#define UNINST_VERSION_NUMBERS 1, 0, 0, 0
#endif
#ifndef UNINST_ORIGINAL_FILENAME
#define UNINST_ORIGINAL_FILENAME "uninst.exe"
#endif
#ifndef UNINST_INTERNAL_NAME
#define UNINST_INTERNAL_NAME "uninst"
#endif

// Artwork, found by the resource compiler through its include path.
#ifndef UNINST_PICTURE_FILE
#define UNINST_PICTURE_FILE "res/picture.bmp"
#endif
#ifndef UNINST_LARGE_ICON_FILE
#define UNINST_LARGE_ICON_FILE "res/large.ico"
#endif
#ifndef UNINST_SMALL_ICON_FILE
#define UNINST_SMALL_ICON_FILE "res/small.ico"
#endif

#endif
