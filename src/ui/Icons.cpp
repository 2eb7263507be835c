#include "ui/Icons.h"

#include "discovery/BrowserFamilies.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

#include <array>
#include <functional>

namespace quillon {

namespace {

// Draws into a square of side 16 (or 24) logical pixels.
using TDraw = std::function<void(QPainter& painter, qreal side)>;

// Pixmaps at one and two device pixels per logical pixel, so that the pictures stay sharp on
// high-density screens.
QIcon MakeIcon(int side, const TDraw& draw) {
  QIcon icon;
  for (const int scale : {1, 2}) {
    QPixmap pixmap(side * scale, side * scale);
    pixmap.fill(Qt::transparent);
    {
      QPainter painter(&pixmap);
      painter.setRenderHint(QPainter::Antialiasing);
      painter.setRenderHint(QPainter::TextAntialiasing);
      painter.scale(scale, scale);
      draw(painter, side);
    }
    pixmap.setDevicePixelRatio(scale);
    icon.addPixmap(pixmap);
  }
  return icon;
}

// The badge of a picture: the first browser type's that shows it. A picture no type shows is a
// grey question mark.
TBadge BadgeOfImage(int index) {
  for (const TBrowserFamily& family : kBrowserFamilies)
    if (family.ImageIndex == index)
      return family.Badge;
  return {"?", 0xff808080};
}

void DrawBadge(QPainter& p, qreal side, const TBadge& badge) {
  const QRectF box(0.5, 0.5, side - 1, side - 1);
  p.setPen(QPen(QColor(badge.Colour).darker(140), 1));
  p.setBrush(QColor(badge.Colour));
  p.drawRoundedRect(box, 3, 3);
  QFont font;
  font.setPixelSize(qRound(side * (badge.Letters.size() > 1 ? 0.56 : 0.75)));
  font.setBold(true);
  font.setStretch(QFont::SemiCondensed);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(
      box, Qt::AlignCenter,
      QString::fromLatin1(badge.Letters.data(), static_cast<qsizetype>(badge.Letters.size())));
}

void DrawSupportMark(QPainter& p, qreal side, bool full) {
  const QRectF dot(side * 0.2, side * 0.2, side * 0.6, side * 0.6);
  const QColor colour = full ? QColor(0x2e, 0x9e, 0x44) : QColor(0xe0, 0x9a, 0x1a);
  p.setPen(QPen(colour.darker(150), 1));
  p.setBrush(colour);
  if (full) {
    p.drawEllipse(dot);
    return;
  }
  // Half filled: this kind is supported in part.
  p.setBrush(Qt::white);
  p.drawEllipse(dot);
  p.setBrush(colour);
  p.drawPie(dot, 90 * 16, 180 * 16);
}

// --- Tab images ---

void DrawCache(QPainter& p, qreal s) {
  // A stack of stored pages: a drum.
  const QColor body(0x5b, 0x7c, 0x99);
  p.setPen(QPen(body.darker(150), 1));
  p.setBrush(body);
  p.drawRect(QRectF(s * 0.15, s * 0.25, s * 0.7, s * 0.55));
  p.drawEllipse(QRectF(s * 0.15, s * 0.65, s * 0.7, s * 0.25));
  p.setBrush(body.lighter(140));
  p.drawEllipse(QRectF(s * 0.15, s * 0.1, s * 0.7, s * 0.3));
}

void DrawCookie(QPainter& p, qreal s) {
  const QColor dough(0xc8, 0x8a, 0x3c);
  p.setPen(QPen(dough.darker(150), 1));
  p.setBrush(dough);
  p.drawEllipse(QRectF(s * 0.08, s * 0.08, s * 0.84, s * 0.84));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x4a, 0x2c, 0x14));
  for (const QPointF& chip : {QPointF(0.35, 0.35), QPointF(0.62, 0.42), QPointF(0.42, 0.65),
                              QPointF(0.68, 0.68), QPointF(0.3, 0.55)})
    p.drawEllipse(QPointF(chip.x() * s, chip.y() * s), s * 0.07, s * 0.07);
}

void DrawClock(QPainter& p, qreal s) {
  p.setPen(QPen(QColor(0x33, 0x55, 0x88), 1.2));
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(s * 0.08, s * 0.08, s * 0.84, s * 0.84));
  p.setPen(QPen(QColor(0x22, 0x22, 0x22), 1.3, Qt::SolidLine, Qt::RoundCap));
  const QPointF centre(s * 0.5, s * 0.5);
  p.drawLine(centre, QPointF(s * 0.5, s * 0.22));
  p.drawLine(centre, QPointF(s * 0.72, s * 0.6));
}

void DrawInfo(QPainter& p, qreal s) {
  const QColor blue(0x25, 0x6e, 0xc8);
  p.setPen(QPen(blue.darker(140), 1));
  p.setBrush(blue);
  p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(s * 0.5, s * 0.28), s * 0.08, s * 0.08);
  p.drawRoundedRect(QRectF(s * 0.42, s * 0.42, s * 0.16, s * 0.38), 1, 1);
}

void DrawHouse(QPainter& p, qreal s) {
  QPainterPath roof;
  roof.moveTo(s * 0.5, s * 0.08);
  roof.lineTo(s * 0.95, s * 0.5);
  roof.lineTo(s * 0.05, s * 0.5);
  roof.closeSubpath();
  p.setPen(QPen(QColor(0x8b, 0x1e, 0x1e), 1));
  p.setBrush(QColor(0xc0, 0x39, 0x2b));
  p.drawPath(roof);
  p.setPen(QPen(QColor(0x66, 0x55, 0x44), 1));
  p.setBrush(QColor(0xf2, 0xe6, 0xc9));
  p.drawRect(QRectF(s * 0.2, s * 0.5, s * 0.6, s * 0.42));
  p.setBrush(QColor(0x66, 0x44, 0x22));
  p.drawRect(QRectF(s * 0.42, s * 0.65, s * 0.16, s * 0.27));
}

void DrawStar(QPainter& p, qreal s) {
  QPainterPath star;
  const QPointF centre(s * 0.5, s * 0.53);
  for (int i = 0; i < 10; ++i) {
    const qreal radius = (i % 2 == 0 ? 0.47 : 0.2) * s;
    const qreal angle = -M_PI / 2 + i * M_PI / 5;
    const QPointF point(centre.x() + radius * qCos(angle), centre.y() + radius * qSin(angle));
    if (i == 0)
      star.moveTo(point);
    else
      star.lineTo(point);
  }
  star.closeSubpath();
  p.setPen(QPen(QColor(0xb0, 0x80, 0x00), 1));
  p.setBrush(QColor(0xf5, 0xc5, 0x18));
  p.drawPath(star);
}

void DrawLog(QPainter& p, qreal s) {
  p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(s * 0.15, s * 0.05, s * 0.7, s * 0.9));
  p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
  for (int line = 0; line < 4; ++line) {
    const qreal y = s * (0.25 + line * 0.18);
    p.drawLine(QPointF(s * 0.27, y), QPointF(s * (line % 2 == 0 ? 0.73 : 0.6), y));
  }
}

// --- Action images ---

void DrawRefresh(QPainter& p, qreal s) {
  const QColor green(0x2e, 0x8b, 0x3e);
  const QRectF ring(s * 0.17, s * 0.17, s * 0.66, s * 0.66);
  p.setPen(QPen(green, s * 0.12, Qt::SolidLine, Qt::FlatCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(ring, 60 * 16, 280 * 16);
  // The arrow head at the arc's start, pointing along the turn.
  const qreal angle = qDegreesToRadians(60.0);
  const QPointF tip(s * 0.5 + s * 0.33 * qCos(angle), s * 0.5 - s * 0.33 * qSin(angle));
  QPainterPath head;
  head.moveTo(tip + QPointF(s * 0.2, -s * 0.02));
  head.lineTo(tip + QPointF(-s * 0.06, -s * 0.2));
  head.lineTo(tip + QPointF(-s * 0.04, s * 0.16));
  head.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(green);
  p.drawPath(head);
}

void DrawBroom(QPainter& p, qreal s) {
  // Handle from the top right, bristles fanning out at the bottom left.
  p.setPen(QPen(QColor(0x8b, 0x5a, 0x2b), s * 0.09, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(s * 0.88, s * 0.1), QPointF(s * 0.45, s * 0.55));
  QPainterPath bristles;
  bristles.moveTo(s * 0.38, s * 0.45);
  bristles.lineTo(s * 0.55, s * 0.62);
  bristles.lineTo(s * 0.32, s * 0.95);
  bristles.lineTo(s * 0.05, s * 0.68);
  bristles.closeSubpath();
  p.setPen(QPen(QColor(0xa0, 0x7a, 0x10), 1));
  p.setBrush(QColor(0xe8, 0xc0, 0x40));
  p.drawPath(bristles);
  p.setPen(QPen(QColor(0xa0, 0x7a, 0x10), 1));
  p.drawLine(QPointF(s * 0.3, s * 0.6), QPointF(s * 0.18, s * 0.8));
  p.drawLine(QPointF(s * 0.4, s * 0.66), QPointF(s * 0.28, s * 0.88));
}

void DrawBin(QPainter& p, qreal s) {
  const QColor metal(0x6b, 0x73, 0x7b);
  p.setPen(QPen(metal.darker(150), 1));
  p.setBrush(metal.lighter(150));
  QPainterPath body;
  body.moveTo(s * 0.2, s * 0.3);
  body.lineTo(s * 0.8, s * 0.3);
  body.lineTo(s * 0.72, s * 0.94);
  body.lineTo(s * 0.28, s * 0.94);
  body.closeSubpath();
  p.drawPath(body);
  p.setBrush(metal);
  p.drawRect(QRectF(s * 0.12, s * 0.16, s * 0.76, s * 0.1));
  p.drawRect(QRectF(s * 0.4, s * 0.06, s * 0.2, s * 0.1));
  p.setPen(QPen(metal.darker(150), s * 0.05));
  for (const qreal x : {0.4, 0.5, 0.6})
    p.drawLine(QPointF(s * x, s * 0.4), QPointF(s * x, s * 0.84));
}

void DrawMagnifier(QPainter& p, qreal s) {
  p.setPen(QPen(QColor(0x55, 0x33, 0x11), s * 0.13, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(s * 0.6, s * 0.6), QPointF(s * 0.9, s * 0.9));
  p.setPen(QPen(QColor(0x40, 0x40, 0x48), s * 0.08));
  p.setBrush(QColor(0xcf, 0xe6, 0xf8));
  p.drawEllipse(QRectF(s * 0.1, s * 0.1, s * 0.55, s * 0.55));
}

} // namespace

QIcon BrowserImage(int index) {
  if (index < 0 || index >= kBrowserImageCount)
    return {};
  if (index <= 1)
    return MakeIcon(16, [index](QPainter& p, qreal s) { DrawSupportMark(p, s, index == 0); });
  return MakeIcon(16,
                  [badge = BadgeOfImage(index)](QPainter& p, qreal s) { DrawBadge(p, s, badge); });
}

QIcon BlankImage() {
  return MakeIcon(16, [](QPainter&, qreal) {});
}

QIcon ActionImage(int index) {
  static const std::array<TDraw, kActionImageCount> draw = {DrawRefresh, DrawBroom, DrawBin,
                                                            DrawMagnifier};
  if (index < 0 || index >= kActionImageCount)
    return {};
  return MakeIcon(24, draw[static_cast<std::size_t>(index)]);
}

QIcon TabImage(int index) {
  static const std::array<TDraw, kTabImageCount> draw = {DrawCache, DrawCookie, DrawClock, DrawInfo,
                                                         DrawHouse, DrawStar,   DrawLog};
  if (index < 0 || index >= kTabImageCount)
    return {};
  return MakeIcon(16, draw[static_cast<std::size_t>(index)]);
}

} // namespace quillon
