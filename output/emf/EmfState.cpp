// The drawing state: the page mapping and world transform, colours and
// modes, saved states, and the settings that change nothing drawn here.
#include "EmfPlayerCore.h"

namespace emfplay {

std::span<const TRecordEntry> TPlayer::StateRecords() {
  static constexpr TRecordEntry kRecords[] = {
      {EMR_HEADER, Ignore},
      {EMR_EOF, Ignore},
      {EMR_SETWINDOWEXTEX,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 8)) return false;
         Self.S.WindowExt = QSizeF(R.I32(8), R.I32(12));
         return true;
       }},
      {EMR_SETWINDOWORGEX,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 8)) return false;
         Self.S.WindowOrg = Self.Pt32(R, 8);
         return true;
       }},
      {EMR_SETVIEWPORTEXTEX,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 8)) return false;
         Self.S.ViewportExt = QSizeF(R.I32(8), R.I32(12));
         return true;
       }},
      {EMR_SETVIEWPORTORGEX,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 8)) return false;
         Self.S.ViewportOrg = Self.Pt32(R, 8);
         return true;
       }},
      {EMR_SCALEVIEWPORTEXTEX, Call<&TPlayer::PlayScaleExtents>},
      {EMR_SCALEWINDOWEXTEX, Call<&TPlayer::PlayScaleExtents>},
      {EMR_SETMAPMODE,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         if (R.U32(8) >= 1 && R.U32(8) <= 8) Self.S.MapMode = int(R.U32(8));
         return true;
       }},
      {EMR_SETBKMODE,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         Self.S.BkOpaque = R.U32(8) == 2;
         return true;
       }},
      {EMR_SETPOLYFILLMODE,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         Self.S.FillRule = R.U32(8) == 2 ? Qt::WindingFill : Qt::OddEvenFill;
         return true;
       }},
      {EMR_SETTEXTCOLOR,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         Self.S.TextColorRef = R.U32(8);
         Self.Recolor(kTextColors);
         return true;
       }},
      {EMR_SETBKCOLOR,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         Self.S.BkColorRef = R.U32(8);
         Self.Recolor(kTextColors);
         return true;
       }},
      {EMR_SAVEDC,
       [](TPlayer& Self, uint32_t, const TRecord&) {
         if (Self.FSaved.size() < size_t(kMaxSavedStates)) Self.FSaved.push_back(Self.S);
         return true;
       }},
      {EMR_RESTOREDC,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         const int32_t n = R.I32(8);
         // Negative: that many states back; positive: the n-th state saved.
         const int64_t keep = n < 0 ? int64_t(Self.FSaved.size()) + n : int64_t(n) - 1;
         if (keep < 0 || keep >= int64_t(Self.FSaved.size())) return true;
         Self.S = Self.FSaved[size_t(keep)];
         Self.FSaved.resize(size_t(keep));
         // The palette's entries may have changed since: colours taken from
         // it are looked up again.
         Self.Recolor();
         return true;
       }},
      {EMR_SETWORLDTRANSFORM, Call<&TPlayer::PlayWorldTransform>},
      {EMR_MODIFYWORLDTRANSFORM, Call<&TPlayer::PlayWorldTransform>},
      // Comments, colour matching, font mapping hints.
      {EMR_GDICOMMENT, Ignore},
      {EMR_SETMAPPERFLAGS, Ignore},
      {EMR_SETCOLORADJUSTMENT, Ignore},
      {EMR_SETMETARGN, Ignore},
      {EMR_SETICMMODE, Ignore},
      {EMR_CREATECOLORSPACE, Ignore},
      {EMR_SETCOLORSPACE, Ignore},
      {EMR_DELETECOLORSPACE, Ignore},
      {EMR_PIXELFORMAT, Ignore},
      {EMR_FORCEUFIMAPPING, Ignore},
      {EMR_COLORCORRECTPALETTE, Ignore},
      {EMR_SETICMPROFILEA, Ignore},
      {EMR_SETICMPROFILEW, Ignore},
      {EMR_SETLINKEDUFIS, Ignore},
      {EMR_COLORMATCHTOTARGETW, Ignore},
      {EMR_CREATECOLORSPACEW, Ignore},
      // Settings at their defaults change nothing either.
      {EMR_SETBRUSHORGEX, Call<&TPlayer::PlayDefaultOnly>},
      {EMR_SETLAYOUT, Call<&TPlayer::PlayDefaultOnly>},
      {EMR_SETTEXTJUSTIFICATION, Call<&TPlayer::PlayDefaultOnly>},
  };
  return kRecords;
}

bool TPlayer::PlayScaleExtents(uint32_t Type, const TRecord& R) {
  if (!R.Has(8, 16)) return false;
  // Only the modes whose extents count scale them; a zero divisor leaves
  // them as they are.
  const double xNum = R.I32(8), xDenom = R.I32(12), yNum = R.I32(16), yDenom = R.I32(20);
  if (S.MapMode < 7 || xDenom == 0 || yDenom == 0) return true;
  QSizeF& ext = Type == EMR_SCALEVIEWPORTEXTEX ? S.ViewportExt : S.WindowExt;
  ext = QSizeF(ext.width() * xNum / xDenom, ext.height() * yNum / yDenom);
  return true;
}

bool TPlayer::PlayWorldTransform(uint32_t Type, const TRecord& R) {
  if (!R.Has(8, Type == EMR_SETWORLDTRANSFORM ? 24 : 28)) return false;
  const QTransform x(R.F32(8), R.F32(12), R.F32(16), R.F32(20), R.F32(24), R.F32(28));
  if (Type == EMR_SETWORLDTRANSFORM) {
    S.World = x;
    return true;
  }
  switch (R.U32(32)) {
    case 1:
      S.World = QTransform();
      break;
    case 2:
      S.World = x * S.World;
      break;
    case 3:
      S.World = S.World * x;
      break;
    case 4:
      S.World = x;
      break;
    default:
      break;
  }
  return true;
}

bool TPlayer::PlayDefaultOnly(uint32_t, const TRecord& R) {
  if (R.Size() < 12 || (R.U32(8) == 0 && R.U32(12) == 0)) return true;
  return PassOver();
}

}  // namespace emfplay
