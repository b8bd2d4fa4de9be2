#include "EmfPlayer.h"

#include <QFile>
#include <QFileInfo>
#include <array>

#include "EmfPlayerCore.h"

namespace emfplay {

bool TPlayer::Play(uint32_t Type, const TRecord& R) {
  static const auto kHandlers = [] {
    std::array<TRecordHandler, kRecordTypes> table{};
    for (const auto& family : {StateRecords(), ShapeRecords(), ObjectRecords(), RegionRecords(), TextRecords(),
                               BitmapRecords(), RasterOpRecords()})
      for (const TRecordEntry& entry : family) {
        Q_ASSERT(entry.Type < table.size() && !table[entry.Type]);
        table[entry.Type] = entry.Handler;
      }
    return table;
  }();
  if (Type < kHandlers.size() && kHandlers[Type]) return kHandlers[Type](*this, Type, R);
  return PassOver();  // not drawn by this player
}

}  // namespace emfplay

using namespace emfplay;

bool TEmfPicture::LoadFromFile(const QString& Path, QString* Error) {
  Clear();
  // Opening a pipe waits for a writer and a device may never end, so only
  // plain files are read.
  if (QFileInfo(Path).exists() && !QFileInfo(Path).isFile()) {
    if (Error) *Error = QStringLiteral("The file is no plain file.");
    return false;
  }
  QFile file(Path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (Error) *Error = QStringLiteral("The file cannot be opened: %1").arg(file.errorString());
    return false;
  }
  if (file.size() > kMaxFileSize) {
    if (Error) *Error = QStringLiteral("The file is too large for a page.");
    return false;
  }
  return LoadFromBytes(file.readAll(), Error);
}

bool TEmfPicture::LoadFromBytes(const QByteArray& Data, QString* Error) {
  Clear();
  auto fail = [&](const QString& Text) {
    if (Error) *Error = Text;
    return false;
  };
  if (Data.size() > kMaxFileSize) return fail(QStringLiteral("The file is too large for a page."));
  const auto* bytes = reinterpret_cast<const uchar*>(Data.constData());
  const uint32_t length = uint32_t(Data.size());
  const TRecord whole(bytes, length);
  if (length < uint32_t(kHeaderMinSize) || whole.U32(0) != EMR_HEADER || whole.U32(40) != kSignature)
    return fail(QStringLiteral("The file is no enhanced metafile."));
  const uint32_t headerSize = whole.U32(4);
  if (headerSize < uint32_t(kHeaderMinSize) || headerSize % 4 || headerSize > length)
    return fail(QStringLiteral("The metafile's header is damaged."));

  // Walk the record chain to its end record: every size must be whole and
  // inside the file, or the file was cut short or damaged.
  uint32_t offset = 0;
  int records = 0;
  bool ended = false;
  while (offset < length) {
    if (length - offset < 8) break;
    const uint32_t type = whole.U32(offset);
    const uint32_t size = whole.U32(offset + 4);
    if (size < 8 || size % 4 || size > length - offset)
      return fail(QStringLiteral("The metafile is damaged or cut short at byte %1.").arg(offset));
    ++records;
    offset += size;
    if (type == EMR_EOF) {
      ended = true;
      break;
    }
  }
  if (!ended) return fail(QStringLiteral("The metafile is cut short: its end record is missing."));

  const TRecord header(bytes, headerSize);
  FDevicePixels = QSize(header.I32(72), header.I32(76));
  FDeviceMillimeters = QSize(header.I32(80), header.I32(84));
  FHandleCount = header.U16(56);
  // The frame is kept in hundredths of a millimetre; the reference device
  // turns it into its own units.
  const QRectF frameMm = QRectF(QPointF(header.I32(24), header.I32(28)), QPointF(header.I32(32), header.I32(36)));
  if (FDevicePixels.width() > 0 && FDevicePixels.height() > 0 && FDeviceMillimeters.width() > 0 &&
      FDeviceMillimeters.height() > 0 && frameMm.width() > 0 && frameMm.height() > 0) {
    const double fx = double(FDevicePixels.width()) / (FDeviceMillimeters.width() * 100.0);
    const double fy = double(FDevicePixels.height()) / (FDeviceMillimeters.height() * 100.0);
    FFrame = QRectF(frameMm.left() * fx, frameMm.top() * fy, frameMm.width() * fx, frameMm.height() * fy);
  } else {
    const QRectF bounds(QPointF(header.I32(8), header.I32(12)), QPointF(header.I32(16), header.I32(20)));
    if (bounds.width() > 0 && bounds.height() > 0)
      FFrame = bounds;
    else
      return fail(QStringLiteral("The metafile's header gives the page no size."));
  }
  FRecordCount = records;
  FData = Data.left(offset);
  return true;
}

void TEmfPicture::Clear() {
  FData.clear();
  FFrame = QRectF();
  FDevicePixels = FDeviceMillimeters = QSize();
  FHandleCount = 0;
  FRecordCount = 0;
}

int TEmfPicture::Draw(QPainter& Painter, const QRectF& Dest, int* PassedOver) const {
  if (Empty() || FFrame.width() <= 0 || FFrame.height() <= 0) return 0;
  const QTransform toDest = QTransform::fromTranslate(-FFrame.left(), -FFrame.top()) *
                            QTransform::fromScale(Dest.width() / FFrame.width(), Dest.height() / FFrame.height()) *
                            QTransform::fromTranslate(Dest.left(), Dest.top());
  Painter.save();
  // Smooth edges as the producers draw them on screen.
  Painter.setRenderHint(QPainter::Antialiasing, true);
  Painter.setRenderHint(QPainter::TextAntialiasing, true);
  Painter.setBackgroundMode(Qt::TransparentMode);
  TPlayer player(Painter, toDest, FDevicePixels, FDeviceMillimeters, FHandleCount);
  const auto* bytes = reinterpret_cast<const uchar*>(FData.constData());
  const uint32_t length = uint32_t(FData.size());
  const TRecord whole(bytes, length);
  int skipped = 0;
  uint32_t offset = 0;
  // The chain was checked on loading; the checks stay so a change there
  // cannot make this loop read outside the data.
  while (length - offset >= 8) {
    const uint32_t type = whole.U32(offset);
    const uint32_t size = whole.U32(offset + 4);
    if (size < 8 || size > length - offset) break;
    if (!player.Play(type, TRecord(bytes + offset, size))) ++skipped;
    offset += size;
    if (type == EMR_EOF) break;
  }
  Painter.restore();
  if (PassedOver) *PassedOver = player.PassedOver();
  return skipped;
}
