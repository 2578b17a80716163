// Drawing of the time line's rows and blocks.
#include "project/ui/LayerBoxPaint.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <climits>
#include <exception>
#include <map>
#include <tuple>

#include "base/Format.h"
#include "media/AudioZoom.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "project/ui/AudioPaint.h"
#include "project/ui/ClipPaint.h"
#include "project/ui/ScalePaint.h"
#include "project/ui/TimeLineBitmaps.h"

namespace movara {

namespace {

QColor Q(TColor c) {
  c = ColorToRGB(c);
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

// Picture samples that change when the picture does (a title page drawn again).
uint64_t Fingerprint(const TDIB& d) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](uint64_t v) {
    h ^= v;
    h *= 1099511628211ull;
  };
  mix(static_cast<uint64_t>(d.Width()) << 32 | static_cast<uint32_t>(d.Height()));
  mix(reinterpret_cast<uintptr_t>(d.Bits()));
  const size_t n = d.ImageSize();
  for (size_t i = 0; i < n; i += 61) mix(d.Bits()[i]);
  return h;
}

constexpr const char* kPaintItemFailed = "[401] Błąd w wykonaniu metody TLayerItem.PaintItem";
constexpr const char* kPaintLevelFailed = "[411] Błąd w wykonaniu metody TLayerItem.PaintLevelBox";
constexpr const char* kPaintStripFailed = "[412] Błąd w wykonaniu metody TLayerItem.PaintAnimationBox";
constexpr const char* kBadBitmap = "Nieprawidłowy rozmiar bitmapy !";

// Drawing everything of one paint.
class TPainter {
 public:
  TPainter(QPainter& p, TLayerBox& box, const QRect& clip, TLayerBoxPaintCache& cache, const QFont& font)
      : P(p), Box(box), Clip(clip), Cache(cache), Font(font), Fm(font) {
    Origin = TimeLinePixelOfFrame(box.Zoom(), box.IconSize(), box.FirstFrame());
    Width = box.ClientWidth();
    Thumb = ThumbSize[box.IconSize()];
  }

  void Paint() {
    Cache.BeginPaint();
    P.fillRect(Clip, Q(clBtnFace));
    P.setFont(Font);
    static constexpr TLayerNumber order[] = {lnRange,           lnSequence,   lnImage,       lnFirstClipTop, lnFirstFx3d,
                                             lnFirstClipBottom, lnAudioFirst, lnAudioSecond, lnAudioThird};
    for (TLayerNumber n : order) {
      TLayerRow* row = Box.RowByNumber(n);
      if (row && row->Visible()) PaintRow(*row);
    }
    const QRect scale(0, Box.ScaleTop(), Width, Box.ScaleHeight());
    if (scale.intersects(Clip)) PaintScale(P, Box.Scale(), Box.ScaleTop(), Font);
    PaintPositionLine();
  }

 private:
  void PaintRow(TLayerRow& row) {
    const QRect rect(0, row.Top(), Width, row.Height());
    const QRect visible = rect.intersected(Clip);
    if (visible.isEmpty()) return;
    P.save();
    P.setClipRect(visible);
    P.fillRect(rect, Q(row.Color()));
    if (row.DrawCrossIf()) P.fillRect(rect, QBrush(Qt::black, Qt::BDiagPattern));
    int from = 0, to = 0;
    auto timeLine = [this](int x) {
      return static_cast<int>(std::clamp<long long>(static_cast<long long>(Origin) + x, INT_MIN, INT_MAX));
    };
    row.ItemsInPixels(timeLine(visible.left()), timeLine(visible.right() + 1), from, to);
    // blocks narrower than 4 pixels (a far zoom) are their colour alone: touching ones
    // are filled together
    const QColor marked = Q(row.ColorMarked());
    QRect run;
    auto flush = [&] {
      if (!run.isEmpty()) P.fillRect(run.intersected(visible), marked);
      run = QRect();
    };
    for (int i = from; i < to; ++i) {
      TLayerItem& item = *row.Items(i);
      const QRect r = ItemRect(row, item);
      if (r.width() >= 4 || (item.Selected() && item.MediaType() != ltFx3d)) {
        flush();
        PaintItem(row, item);
      } else if (!run.isEmpty() && r.left() <= run.left() + run.width()) {
        run.setRight(std::max(run.right(), r.right()));
      } else {
        flush();
        run = r;
      }
    }
    flush();
    if (row.Style() != lsNone) {
      bool raised = row.Style() == lsRaised;
      P.fillRect(QRect(0, rect.top(), Width, 1), raised ? QColor(255, 255, 255) : Q(DarkenColor(row.Color(), 64)));
      P.fillRect(QRect(0, rect.bottom(), Width, 1), raised ? Q(DarkenColor(row.Color(), 64)) : QColor(255, 255, 255));
    }
    P.restore();
  }

  // A block's rectangle in the view.
  QRect ItemRect(const TLayerRow& row, const TLayerItem& item) const {
    int left = item.Left() - Origin;
    int width = std::max(1, item.Right() - item.Left());
    return QRect(left, row.Top() + item.Top(), width, std::max(1, item.Height()));
  }

  void PaintItem(TLayerRow& row, TLayerItem& item) {
    const QRect r = ItemRect(row, item);
    QRect column = r;
    column.setHeight(row.Height());
    const QRect visible = column.intersected(QRect(0, row.Top(), Width, row.Height())).intersected(Clip);
    if (visible.isEmpty()) return;
    if (r.width() < 4) {
      // a selected sliver at a far zoom: black for its frame
      P.fillRect(visible, QColor(0, 0, 0));
      return;
    }
    P.save();
    P.setClipRect(visible);
    try {
      P.fillRect(r, Q(item.ColorMarked()));
      if (r.left() >= -3999) PaintContent(row, item, r);
    } catch (const std::exception&) {
      Cache.Fail(&item, kPaintItemFailed);
    }
    if (row.LevelBoxVisible() && item.LevelBoxIfAny()) {
      try {
        PaintLevelBox(row, item, r);
      } catch (const std::exception&) {
        Cache.Fail(&item, kPaintLevelFailed);
      }
    }
    if (item.ShowAnimationBox()) {
      try {
        PaintAnimationBox(item, r);
      } catch (const std::exception&) {
        Cache.Fail(&item, kPaintStripFailed);
      }
    }
    if (item.Selected() && item.MediaType() != ltFx3d) PaintMarchingFrame(row, r);
    P.restore();
  }

  // The label "name   m:ss.hhs"; over a waveform it stands on the block's colour.
  void Label(int x, const QRect& r, const std::string& name, int duration, const QColor* backing = nullptr) {
    if (x >= r.right()) return;
    const std::string text = Format("%s   %ss", name.c_str(), FormatShortDuration(duration, DefaultTimeBase).c_str());
    Text(x, r, text, backing);
  }
  void Text(int x, const QRect& r, const std::string& text, const QColor* backing = nullptr) {
    if (x >= r.right()) return;
    const QString s = QString::fromStdString(text);
    const int top = r.top() + (r.height() - Fm.height()) / 2;
    if (backing) P.fillRect(QRect(x - 2, top, Fm.horizontalAdvance(s) + 4, Fm.height()), *backing);
    P.setPen(Qt::black);
    P.drawText(x, top + Fm.ascent(), s);
  }

  void Triangles(const QRect& r, const QColor& colour) {
    const int h = r.height();
    const int side = std::max(2, std::min(h / 2, r.width() / 2));
    P.setPen(Qt::NoPen);
    P.setBrush(colour);
    P.drawPolygon(QPolygon({QPoint(r.left(), r.top()), QPoint(r.left() + side, r.top() + h / 2),
                            QPoint(r.left(), r.top() + h)}));
    const int right = r.left() + r.width();
    P.drawPolygon(QPolygon({QPoint(right, r.top()), QPoint(right - side, r.top() + h / 2),
                            QPoint(right, r.top() + h)}));
    P.setBrush(Qt::NoBrush);
  }

  void EndLine(const QRect& r, const QColor& colour) {
    P.fillRect(QRect(r.left() + r.width() - 1, r.top(), 1, r.height()), colour);
  }

  // A block with a thumbnail: the picture at its left, for sounds the waveform after
  // it, the key bar when keyed, the label and the end line.
  void PaintClip(TLayerRow& row, TLayerItem& item, const QRect& r, bool keyBar) {
    TClipGraphic* clip = item.LinkClipGraphic();
    const bool sound = item.MediaType() == ltAudio;
    const int picHeight = sound ? r.height() : std::min(Thumb.Height, r.height());
    const QRect pic(r.left(), r.top(), Thumb.Width, picHeight);
    if (clip->Bitmap().Empty()) {
      P.setPen(QColor(200, 0, 0));
      P.drawText(r.left() + 3, r.top() + (r.height() - Fm.height()) / 2 + Fm.ascent(), QString::fromUtf8(kBadBitmap));
      return;
    }
    P.drawImage(pic, Cache.Thumbnail(*clip, Thumb.Width, picHeight));
    int x = pic.left() + pic.width();
    if (sound) PaintWaveform(row, item, QRect(x, r.top(), r.left() + r.width() - x, r.height()));
    if (keyBar && item.UseColorKey()) {
      P.fillRect(QRect(x, r.top(), 5, r.height()), Q(item.ColorKey()));
      x += 5;
    }
    const QColor backing = Q(item.ColorMarked());
    Label(x + 5, r, clip->FileShortName(), item.Duration(), sound ? &backing : nullptr);
    if (r.width() > Thumb.Width) EndLine(r, Q(DarkenColor(clBtnFace, 48)));
  }

  void PaintWaveform(TLayerRow& row, TLayerItem& item, const QRect& area) {
    TAudioBox* audio = item.AudioBox();
    if (!audio || area.width() <= 0) return;
    // only the visible columns are read: the strip starts where the view does
    const QRect visible = area.intersected(QRect(0, area.top(), Width, area.height()));
    if (visible.isEmpty()) return;
    const int skipped = visible.left() - (item.Left() - Origin);
    const long long msPerThumb = static_cast<long long>(row.FramesPerThumbnail()) * MillisecondsPerFrame;
    const long long startMs = static_cast<long long>(item.OffsetFrame()) * MillisecondsPerFrame +
                              static_cast<long long>(skipped) * msPerThumb / Thumb.Width;
    audio->SetStartTime(static_cast<int>(std::min<long long>(startMs, 0x7FFFFFFF)));
    DrawAudioBox(P, visible, *audio, row.Zoom(), 0);
  }

  void PaintContent(TLayerRow& row, TLayerItem& item, const QRect& r) {
    switch (item.MediaType()) {
      case ltBmpAvi:
      case ltAudio:
        if (item.LinkClipGraphic()) {
          PaintClip(row, item, r, false);
          return;
        }
        break;
      case ltFx3d: {
        const int h = std::max(1, r.height() - 2);
        const int w = std::max(1, Thumb.Width * h / Thumb.Height);
        P.drawImage(QRect(r.left() + 1, r.top() + 1, w, h), Cache.Fx3d(item));
        Label(r.left() + 1 + w + 5, r, item.Fx3dName(), item.Duration());
        if (r.width() >= 2) EndLine(r, Q(ShadeColorV(item.ColorMarked(), TransitionEndShade)));
        return;
      }
      case ltSequence:
        Text(r.left() + 5, r, item.Fx3dName());
        P.setPen(Q(DarkenColor(item.ColorMarked(), 48)));
        P.setBrush(Qt::NoBrush);
        P.drawRect(r.adjusted(0, 0, -1, -1));
        return;
      case ltRange:
        Triangles(r, Q(DarkenColor(item.Color(), 128)));
        return;
      case ltKey: {
        P.fillRect(r, Q(clBtnFace));
        TComposeMode mode = item.StoredComposeMode();
        if (mode == cmNone || mode == cmKeyOnThisLayer)
          P.fillRect(r, QBrush(TimeLineBitmap(mode == cmKeyOnThisLayer ? tbKeyGraph : tbKeyVideo)));
        Triangles(r, Q(0x808000));
        return;
      }
      default:
        break;
    }
    // pictures of the image row and colour blocks
    if (item.LinkClipGraphic()) {
      PaintClip(row, item, r, true);
      return;
    }
    const int inset = r.height() / 5;
    const int side = std::max(1, r.height() - 2 * inset);
    const QRect square(r.left() + inset, r.top() + inset, side, side);
    P.fillRect(square, Q(UniformColorToColor(item.UniformColor(), item.UniformColorValue())));
    P.setPen(Qt::black);
    P.setBrush(Qt::NoBrush);
    P.drawRect(square.adjusted(0, 0, -1, -1));
    int x = square.left() + square.width() + inset;
    if (item.UseColorKey()) {
      P.fillRect(QRect(x, r.top(), 5, r.height()), Q(item.ColorKey()));
      x += 5;
    }
    Label(x + 5, r, UniformColorName(item.UniformColor()), item.Duration());
    Triangles(r, Q(DarkenColor(item.ColorMarked(), 128)));
  }

  void PaintLevelBox(TLayerRow& row, TLayerItem& item, const QRect& r) {
    TLevelBox* lb = item.LevelBoxIfAny();
    lb->UpdateMarks();
    const int top = row.Top();
    const QRect band(r.left(), top + lb->TopPixel(), r.width(), lb->BottomPixel() - lb->TopPixel() + 1);
    const TColor fill = row.LayerType() == ltAudio ? 0x808000 : 0xB2ECEB;
    P.fillRect(band, Q(fill));
    P.fillRect(QRect(band.left(), band.top(), band.width(), 1), Q(LightenColor(fill, 64)));
    P.fillRect(QRect(band.left(), band.top() + 1, band.width(), 1), Q(DarkenColor(fill, 64)));

    // the points that are drawn, in order: a marked inner point is left out, a marked
    // end point stands at the default level
    struct TPt {
      double X, Y;
    };
    std::vector<TPt> pts;
    pts.reserve(static_cast<size_t>(lb->Count()));
    const int last = lb->Count() - 1;
    for (int i = 0; i <= last; ++i) {
      const TLevelItem* pt = lb->Points(i);
      int level = pt->Level;
      if (pt->Marked) {
        if (i != 0 && i != last) continue;
        level = lb->DefaultLevel();
      }
      pts.push_back({static_cast<double>(r.left()) + pt->PixelX, static_cast<double>(top + lb->LevelToY(level))});
    }
    // points far outside the view are drawn 10 000 pixels out, on their line
    const double lo = -10000, hi = Width + 10000.0;
    auto clampX = [&](TPt a, const TPt& b) {
      if ((a.X < lo || a.X > hi) && b.X != a.X) {
        double x = std::clamp(a.X, lo, hi);
        a.Y = a.Y + (b.Y - a.Y) * (x - a.X) / (b.X - a.X);
        a.X = x;
      }
      a.Y = std::clamp(a.Y, static_cast<double>(band.top()), static_cast<double>(band.bottom()));
      return a;
    };
    P.setPen(Qt::black);
    for (size_t k = 0; k + 1 < pts.size(); ++k) {
      if (pts[k + 1].X < lo || pts[k].X > hi) continue;
      TPt a = clampX(pts[k], pts[k + 1]);
      TPt b = clampX(pts[k + 1], pts[k]);
      P.drawLine(QPointF(a.X, a.Y), QPointF(b.X, b.Y));
    }
    P.setBrush(QColor(255, 255, 0));
    for (const TPt& pt : pts)
      if (pt.X >= -4 && pt.X <= Width + 4) P.drawRect(QRectF(pt.X - 2, pt.Y - 2, 4, 4));
    P.setBrush(Qt::NoBrush);

    // a point dragged with Shift (its level alone changes) is marked by two lines
    if (row.GesturePointItem() == &item && row.GesturePoint() && (row.GestureShift() & ssShift)) {
      const int x = r.left() + row.GesturePoint()->PixelX;
      P.fillRect(QRect(x, top, 1, band.top() - top), QColor(128, 128, 128));
      P.fillRect(QRect(x, band.top(), 1, band.height()), QColor(0, 0, 255));
    }
  }

  void PaintAnimationBox(TLayerItem& item, const QRect& r) {
    TAnimationBox* strip = item.AnimationBox();
    if (!strip) return;
    const int visLeft = std::max(r.left(), 0);
    const int visRight = std::min(r.left() + r.width(), Width);
    if (visRight <= visLeft) return;
    const double msPerThumb = static_cast<double>(FramesPerThumb(Box.Zoom(), Box.IconSize())) * MillisecondsPerFrame;
    const TAnimationStrip s = TAnimationBox::StripFor(visLeft - r.left(), visRight - visLeft, Thumb.Width, msPerThumb,
                                                      static_cast<double>(item.OffsetFrame()) * MillisecondsPerFrame);
    if (s.FrameCount <= 0) return;
    const bool rebuilt = strip->SetParams(Thumb.Width, Thumb.Height, s.FrameCount, s.TimeLength, s.TimeOffset);
    const QImage& image = Cache.Strip(*strip, rebuilt);
    if (image.isNull()) return;
    P.drawImage(QPoint(visLeft - s.Phase, r.top()), image);
  }

  void PaintMarchingFrame(const TLayerRow& row, const QRect& r) {
    // an 8 x 8 dashed pattern walking round the block, two pixels wide
    QBrush brush(TimeLineBitmap(tbMotionFrame));
    brush.setTransform(QTransform::fromTranslate(row.MotionOffset(), 0));
    const int w = r.width(), h = r.height();
    if (w <= 4 || h <= 4) {
      P.fillRect(r, brush);
      return;
    }
    P.fillRect(QRect(r.left(), r.top(), w, 2), brush);
    P.fillRect(QRect(r.left(), r.top() + h - 2, w, 2), brush);
    P.fillRect(QRect(r.left(), r.top() + 2, 2, h - 4), brush);
    P.fillRect(QRect(r.left() + w - 2, r.top() + 2, 2, h - 4), brush);
  }

  void PaintPositionLine() {
    const TLayerBox::TPositionLine line = Box.PositionLine();
    if (!line.Visible) return;
    P.save();
    P.setClipRect(Clip);
    P.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    P.fillRect(QRect(line.X, line.Top, 1, line.Bottom - line.Top), QColor(255, 255, 255));
    P.restore();
  }

  QPainter& P;
  TLayerBox& Box;
  QRect Clip;
  TLayerBoxPaintCache& Cache;
  const QFont& Font;
  QFontMetrics Fm;
  int Origin = 0;
  int Width = 0;
  TThumbSize Thumb{};
};

}  // namespace

// ---------------------------------------------------------------------------------
// The cache

const QImage& TLayerBoxPaintCache::Thumbnail(const TClipGraphic& clip, int width, int height) {
  const TDIB& src = clip.Bitmap();
  // one entry per clip and size: a movie's picture and its sound draw it at two sizes;
  // whether the picture changed is looked at once a paint
  if (FThumbs.size() > 4096) FThumbs.clear();
  TThumb& t = FThumbs[{&clip, width, height}];
  if (t.Checked == FPaint && !t.Image.isNull()) return t.Image;
  t.Checked = FPaint;
  const uint64_t fp = Fingerprint(src);
  if (t.Image.isNull() || t.Fingerprint != fp) {
    t.Image = DibToImage(src).scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    t.Fingerprint = fp;
  }
  return t.Image;
}

const QImage& TLayerBoxPaintCache::Strip(TAnimationBox& box, bool rebuilt) {
  if (FStrips.size() > 1024) FStrips.clear();
  QImage& img = FStrips[&box];
  if (rebuilt || img.isNull()) img = DibToImage(box.Strip());
  return img;
}

const QImage& TLayerBoxPaintCache::Fx3d(TLayerItem& item) {
  const TDIB& pic = item.BmpFx3d();
  QImage& img = FFx3d[pic.Width()];
  if (img.isNull() || img.height() != pic.Height()) img = DibToImage(pic);
  return img;
}

void TLayerBoxPaintCache::Clear() {
  FThumbs.clear();
  FStrips.clear();
  FFx3d.clear();
}

void TLayerBoxPaintCache::Fail(const TLayerItem* item, const std::string& text) {
  for (const auto& r : FReported)
    if (r.first == item && r.second == text) return;
  if (FReported.size() > 1000) FReported.clear();
  FReported.emplace_back(item, text);
  FFailures.push_back(text);
}

std::vector<std::string> TLayerBoxPaintCache::TakeFailures() {
  std::vector<std::string> f;
  f.swap(FFailures);
  return f;
}

void PaintLayerBox(QPainter& painter, TLayerBox& box, const QRect& clip, TLayerBoxPaintCache& cache,
                   const QFont& font) {
  TPainter(painter, box, clip, cache, font).Paint();
}

}  // namespace movara
