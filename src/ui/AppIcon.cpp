#include "ui/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quillon {

namespace {

// Paints on a side x side image in units of the side, so one drawing serves every size.
template <typename Draw> QImage Paint(int side, Draw draw) {
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(side, side);
  draw(painter);
  return image;
}

QPen Stroke(const QColor& colour, qreal width) {
  QPen pen(colour, width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

// A globe (the web) behind a sword whose cross-guard, the quillon, gives the program its name:
// it cuts what the browsers keep.
void DrawIcon(QPainter& p) {
  QLinearGradient sky(0, 0, 0, 1);
  sky.setColorAt(0, QColor(0x3a, 0x7b, 0xc8));
  sky.setColorAt(1, QColor(0x1b, 0x3f, 0x73));
  p.setPen(Qt::NoPen);
  p.setBrush(sky);
  p.drawRoundedRect(QRectF(0.03, 0.03, 0.94, 0.94), 0.18, 0.18);

  const QPointF centre(0.47, 0.47);
  const qreal radius = 0.3;
  p.setBrush(Qt::NoBrush);
  p.setPen(Stroke(QColor(255, 255, 255, 230), 0.045));
  p.drawEllipse(centre, radius, radius);
  p.setPen(Stroke(QColor(255, 255, 255, 170), 0.03));
  p.drawEllipse(centre, radius * 0.45, radius);
  p.drawLine(QPointF(centre.x() - radius, centre.y()), QPointF(centre.x() + radius, centre.y()));
  for (const qreal dy : {-0.55, 0.55}) {
    const qreal y = centre.y() + dy * radius;
    const qreal half = radius * 0.835;
    p.drawLine(QPointF(centre.x() - half, y), QPointF(centre.x() + half, y));
  }

  // The sword, point to the upper right.
  const QColor steel(0xe8, 0xee, 0xf4), gold(0xf2, 0xb8, 0x3a), grip(0x6b, 0x3e, 0x1f);
  const QPointF guard(0.33, 0.67);
  p.setPen(Stroke(QColor(0, 0, 0, 80), 0.11));
  p.drawLine(guard, QPointF(0.84, 0.16));
  p.setPen(Stroke(steel, 0.07));
  p.drawLine(guard, QPointF(0.84, 0.16));
  p.setPen(Stroke(grip, 0.075));
  p.drawLine(guard, QPointF(0.17, 0.83));
  p.setPen(Stroke(gold, 0.075));
  p.drawLine(QPointF(guard.x() - 0.13, guard.y() - 0.13),
             QPointF(guard.x() + 0.13, guard.y() + 0.13));
  p.setPen(Qt::NoPen);
  p.setBrush(gold);
  p.drawEllipse(QPointF(0.14, 0.86), 0.05, 0.05);
}

// The maker's mark: a ring with a tail, a "Q" drawn without a font.
void DrawLogo(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x2b, 0x2f, 0x36));
  p.drawEllipse(QRectF(0.02, 0.02, 0.96, 0.96));
  p.setBrush(Qt::NoBrush);
  p.setPen(Stroke(QColor(0xf2, 0xb8, 0x3a), 0.1));
  p.drawEllipse(QPointF(0.48, 0.47), 0.24, 0.24);
  p.drawLine(QPointF(0.6, 0.6), QPointF(0.76, 0.76));
}

} // namespace

QImage ApplicationIconImage(int side) {
  return Paint(side, DrawIcon);
}

QImage MakerLogoImage(int side) {
  return Paint(side, DrawLogo);
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (const int side : {16, 24, 32, 48, 64, 128, 256})
    icon.addPixmap(QPixmap::fromImage(ApplicationIconImage(side)));
  return icon;
}

} // namespace quillon
