// The identifiers of the program's resources (tolk_zav.rc) and of the
// window's controls. Read by the resource compiler too: macros only.
#pragma once

// Icons: the program's, and the buttons' glyphs.
#define IDI_TOLK_ZAV 1
#define IDI_PASTA 2
#define IDI_CRITICAR 3
#define IDI_AJUDA 4
#define IDI_EXPORTA 5
#define IDI_FECHAR 6

// Controls. btnOk is IDOK: Enter in a box presses the window's default button.
#define IDC_LABEL3 100
#define IDC_ED_ARQ_RISCO 101
#define IDC_SPEED_BUTTON4 102
#define IDC_LABEL4 103
#define IDC_ED_ARQ_SINISTRO 104
#define IDC_SPEED_BUTTON3 105
#define IDC_PROGRESS_BAR 106
#define IDC_BTN_AJUDA 107
#define IDC_BTN_EXPORTA 108
#define IDC_BTN_FECHAR 109
#define IDC_ED_LOG 110
