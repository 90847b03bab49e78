/* Resource and control identifiers, shared by the resource script and the code. */
#ifndef UNINST_RES_RESOURCE_H
#define UNINST_RES_RESOURCE_H

/* Bitmaps */
#define IDB_PICTURE 129

/* Icon groups */
#define IDI_LARGE 107
#define IDI_SMALL 108

/* Controls: the two answers. <winuser.h> defines IDC_NO as a cursor; ours replaces it. */
#define IDC_YES 104
#ifdef IDC_NO
#undef IDC_NO
#endif
#define IDC_NO 105

#endif
