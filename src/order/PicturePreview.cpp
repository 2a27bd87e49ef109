#include "order/PicturePreview.h"

void ShowPreview(frm_price*) {}
void OpenBigPictureFromPreview(frm_price*) {}
void OpenBigPictureFromGrid(frm_price*) {}
