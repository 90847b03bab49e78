// The texts a vendor may brand at build time; the defaults are the product's own.
#ifndef UNINST_APP_BRANDING_H
#define UNINST_APP_BRANDING_H

#ifndef UNINST_WINDOW_TITLE
#define UNINST_WINDOW_TITLE "Uninstall Quillmere"
#endif
#ifndef UNINST_WINDOW_CLASS
#define UNINST_WINDOW_CLASS "zelkor"
#endif

#endif
