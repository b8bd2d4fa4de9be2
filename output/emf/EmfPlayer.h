#pragma once

// A small player of enhanced metafiles (the preview pages the design tool
// leaves behind) onto a QPainter. It knows the records such pages use:
// lines, polygons, rectangles and ellipses, pens, brushes and fonts, text,
// device-independent bitmaps, the window/viewport mapping, the world
// transform, clipping rectangles and saved drawing states. Records it does
// not know are passed over, and counted. Every record is bounds-checked: a damaged file is
// refused when loaded, a record whose contents do not fit is skipped.

#include <QByteArray>
#include <QRectF>
#include <QSize>
#include <QString>

class QPainter;

class TEmfPicture {
 public:
  // False and Error set when the file cannot be read or is no complete
  // enhanced metafile; the picture is then empty.
  bool LoadFromFile(const QString& Path, QString* Error = nullptr);
  bool LoadFromBytes(const QByteArray& Data, QString* Error = nullptr);
  void Clear();
  bool Empty() const { return FData.isEmpty(); }

  // The page's frame in device units of the reference device.
  QRectF Frame() const { return FFrame; }
  // Records in the file up to and including the end record.
  int RecordCount() const { return FRecordCount; }

  // Plays the page stretched over Dest (the page's aspect ratio is not kept).
  // Returns the number of records that were skipped because their contents
  // did not fit them. PassedOver, when given, receives the number of records
  // that were not drawn: of kinds the player does not know or does not
  // draw, or bitmaps of a kind it does not know.
  int Draw(QPainter& Painter, const QRectF& Dest, int* PassedOver = nullptr) const;

 private:
  QByteArray FData;
  QRectF FFrame;
  QSize FDevicePixels;
  QSize FDeviceMillimeters;
  int FHandleCount = 0;
  int FRecordCount = 0;
};
