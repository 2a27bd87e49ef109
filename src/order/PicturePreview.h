#pragma once
class frm_price;
// The preview box follows the current row while it is shown and the grid has no
// thumbnails.
void ShowPreview(frm_price* window);
// Opens the big picture window for the selected row (from the preview box).
void OpenBigPictureFromPreview(frm_price* window);
// A click on the grid opens the big picture window when it hit a thumbnail.
void OpenBigPictureFromGrid(frm_price* window);
