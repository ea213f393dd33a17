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
#define IDI_OCORRENCIAS 7

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
#define IDC_BTN_OCORRENCIAS 111

// The findings' view.
#define IDC_LBL_TABELA 200
#define IDC_CB_TABELA 201
#define IDC_LBL_CAMPO 202
#define IDC_CB_CAMPO 203
#define IDC_LBL_REGRA 204
#define IDC_CB_REGRA 205
#define IDC_LBL_PROCURA 206
#define IDC_ED_PROCURA 207
#define IDC_LBL_CONTAGEM 208
#define IDC_BTN_EXPORTA_OCORRENCIAS 209
#define IDM_COPIAR_OCORRENCIAS 220
#define IDC_LV_OCORRENCIAS 210
#define IDC_LBL_REGISTRO 211
#define IDC_LV_REGISTRO 212
