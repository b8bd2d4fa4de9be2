// Draws a test page through libEMF's GDI functions.
#include <libEMF/emf.h>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  HDC dc = CreateEnhMetaFileA(0, argv[1], 0, 0);
  if (!dc) return 1;
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 400, 300, 0);
  SetViewportExtEx(dc, 400, 300, 0);
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  SelectObject(dc, white);
  SelectObject(dc, GetStockObject(NULL_PEN));
  Rectangle(dc, 0, 0, 401, 301);

  // A pen with a dash pattern of its own, round ends and joins.
  LOGBRUSH lb = {BS_SOLID, RGB(200, 40, 40), 0};
  DWORD dashes[] = {24, 10, 4, 10};
  HPEN dash = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_ROUND | PS_JOIN_ROUND, 8, &lb, 4, dashes);
  SelectObject(dc, dash);
  MoveToEx(dc, 20, 30, 0);
  LineTo(dc, 200, 30);
  LineTo(dc, 200, 110);
  // Square ends and mitred joins on a thick plain pen.
  lb.lbColor = RGB(30, 120, 30);
  HPEN thick = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER, 16, &lb, 0, 0);
  SelectObject(dc, thick);
  POINT zig[] = {{240, 110}, {290, 30}, {340, 110}, {380, 40}};
  Polyline(dc, zig, 4);

  // Fill modes: the same star, alternate and winding.
  HBRUSH purple = CreateSolidBrush(RGB(110, 30, 160));
  SelectObject(dc, purple);
  SelectObject(dc, GetStockObject(NULL_PEN));
  POINT star[5] = {{70, 130}, {110, 240}, {20, 170}, {120, 170}, {30, 240}};
  SetPolyFillMode(dc, ALTERNATE);
  Polygon(dc, star, 5);
  POINT star2[5];
  for (int i = 0; i < 5; ++i) star2[i] = {star[i].x + 110, star[i].y};
  SetPolyFillMode(dc, WINDING);
  Polygon(dc, star2, 5);

  // An arc continuing a line from the current position.
  HPEN blue = CreatePen(PS_SOLID, 4, RGB(20, 60, 200));
  SelectObject(dc, blue);
  MoveToEx(dc, 250, 150, 0);
  ArcTo(dc, 260, 140, 360, 240, 360, 190, 260, 190);
  LineTo(dc, 380, 280);

  // Text in a font every machine here has.
  HFONT font = CreateFontA(-22, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH, "DejaVu Sans");
  SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  SetTextAlign(dc, TA_BASELINE | TA_LEFT);
  const char* words = "Caps, joins, fill modes";
  ExtTextOutA(dc, 20, 285, 0, 0, words, 23, 0);

  HENHMETAFILE mf = CloseEnhMetaFile(dc);
  DeleteEnhMetaFile(mf);
  return 0;
}
