/* Resource ids shared by the resource script (installer.rc) and the
   installer's code. Plain #defines so that the resource compiler's
   preprocessor reads this file as well as C++ does. */
#pragma once

/* Icon of the main window's class: one 32x32 image, 16 colours. */
#define IDI_INSTALLER 101

/* Dialog templates. */
#define IDD_PROGRESS 103           /* "Installing" ... "Please Wait..." */
#define IDD_PRODUCT_INFO_OTHER 104 /* the information dialog of another edition; never shown */
#define IDD_LICENSE 106            /* "License Agreement" */
#define IDD_PRODUCT_INFO 107       /* the information dialog shown after installing */

/* Controls. */
#define IDC_TITLE_LINE 1001   /* progress dialog: "<title> Screen Saver" */
#define IDC_LICENSE_TEXT 1009 /* licence dialog: the read-only licence text box */

/* The payload manifest: resource type "LASTRES" (the image's only named
   type, so that it is the first resource in directory order), id 1000,
   language 1033. The installer image carries a 4-byte placeholder here;
   packed images hold the manifest from this resource's data onwards. */
#define IDR_PAYLOAD_MANIFEST 1000
