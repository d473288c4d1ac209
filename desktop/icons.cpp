#include "desktop/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kvillo {

namespace {

constexpr int kSize = 32;

const QColor kInk(0x33, 0x3d, 0x4a);
const QColor kPaper(0xfd, 0xfd, 0xfa);
const QColor kBlue(0x2f, 0x6f, 0xc2);
const QColor kGreen(0x2e, 0x9a, 0x3c);
const QColor kRed(0xc8, 0x2a, 0x2a);
const QColor kGold(0xe0, 0xa8, 0x2e);

QPen pen(const QColor &color, qreal width = 2.0)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void envelope(QPainter &p, const QRectF &r)
{
    p.setPen(pen(kInk));
    p.setBrush(kPaper);
    p.drawRoundedRect(r, 2, 2);
    QPainterPath flap;
    flap.moveTo(r.topLeft() + QPointF(1, 1));
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.6);
    flap.lineTo(r.topRight() + QPointF(-1, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

void page(QPainter &p, const QRectF &r)
{
    p.setPen(pen(kInk, 1.6));
    p.setBrush(kPaper);
    p.drawRect(r);
    p.setPen(pen(QColor(0x9a, 0xa4, 0xb0), 1.2));
    for (qreal y = r.top() + 6; y < r.bottom() - 3; y += 4)
        p.drawLine(QPointF(r.left() + 4, y), QPointF(r.right() - 4, y));
}

void pencil(QPainter &p, QPointF tip, qreal length)
{
    p.save();
    p.translate(tip);
    p.rotate(-45);
    p.setPen(pen(kInk, 1.4));
    p.setBrush(kGold);
    p.drawRect(QRectF(4, -3, length - 4, 6));
    QPainterPath point;
    point.moveTo(0, 0);
    point.lineTo(4, -3);
    point.lineTo(4, 3);
    point.closeSubpath();
    p.setBrush(kInk);
    p.drawPath(point);
    p.restore();
}

void arrow(QPainter &p, QPointF from, QPointF to, const QColor &color)
{
    p.setPen(pen(color, 3));
    p.drawLine(from, to);
    const QLineF line(to, from);
    QLineF wing1 = line;
    wing1.setLength(7);
    wing1.setAngle(line.angle() + 35);
    QLineF wing2 = line;
    wing2.setLength(7);
    wing2.setAngle(line.angle() - 35);
    p.drawLine(wing1);
    p.drawLine(wing2);
}

void circularArrow(QPainter &p, const QColor &color)
{
    const QRectF ring(6, 6, 20, 20);
    p.setPen(pen(color, 3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(ring, 90 * 16, 270 * 16);
    QPainterPath head;
    head.moveTo(16, 1);
    head.lineTo(22, 6);
    head.lineTo(16, 11);
    head.closeSubpath();
    p.setBrush(color);
    p.setPen(pen(color, 1));
    p.drawPath(head);
}

void drawIcon(QPainter &p, int index)
{
    switch (index) {
    case 0: // write to this one
        envelope(p, QRectF(2, 8, 24, 17));
        pencil(p, QPointF(15, 28), 18);
        break;
    case 1: { // web site
        p.setPen(pen(kBlue));
        p.setBrush(QColor(0xdc, 0xea, 0xfa));
        p.drawEllipse(QRectF(3, 3, 26, 26));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(10, 3, 12, 26));
        p.drawLine(QPointF(3, 16), QPointF(29, 16));
        p.drawLine(QPointF(16, 3), QPointF(16, 29));
        break;
    }
    case 2: // help
    case 7: { // about
        p.setPen(pen(kBlue));
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(3, 3, 26, 26));
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(20);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, index == 2 ? QStringLiteral("?") : QStringLiteral("i"));
        break;
    }
    case 3: // exit
        p.setPen(pen(kInk));
        p.setBrush(QColor(0xb5, 0x7a, 0x46));
        p.drawRect(QRectF(4, 3, 14, 26));
        arrow(p, QPointF(14, 16), QPointF(29, 16), kRed);
        break;
    case 6: // add
        p.setPen(pen(kGreen, 6));
        p.drawLine(QPointF(16, 5), QPointF(16, 27));
        p.drawLine(QPointF(5, 16), QPointF(27, 16));
        break;
    case 8: // copy
        page(p, QRectF(3, 3, 17, 21));
        page(p, QRectF(12, 9, 17, 21));
        break;
    case 9: // delete
        p.setPen(pen(kRed, 5));
        p.drawLine(QPointF(7, 7), QPointF(25, 25));
        p.drawLine(QPointF(25, 7), QPointF(7, 25));
        break;
    case 10: // to the tray
        p.setPen(pen(kInk));
        p.setBrush(QColor(0xdd, 0xe3, 0xea));
        p.drawRect(QRectF(3, 21, 26, 8));
        arrow(p, QPointF(16, 2), QPointF(16, 19), kBlue);
        break;
    case 11: { // font
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPixelSize(28);
        font.setBold(true);
        p.setFont(font);
        p.setPen(kInk);
        p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, QStringLiteral("A"));
        break;
    }
    case 12: // write a letter
        envelope(p, QRectF(2, 7, 28, 19));
        break;
    case 14: // back up
        p.setPen(pen(kInk));
        p.setBrush(kBlue);
        p.drawRoundedRect(QRectF(3, 3, 26, 26), 3, 3);
        p.setBrush(kPaper);
        p.drawRect(QRectF(8, 3, 16, 10));
        p.setBrush(QColor(0xdd, 0xe3, 0xea));
        p.drawRect(QRectF(8, 18, 16, 11));
        break;
    case 15: // restore
        circularArrow(p, kGreen);
        break;
    case 17: // update
        circularArrow(p, kBlue);
        arrow(p, QPointF(16, 24), QPointF(16, 11), kBlue);
        break;
    case 18: // edit
        page(p, QRectF(3, 3, 20, 26));
        pencil(p, QPointF(13, 29), 22);
        break;
    case 19: // print
        p.setPen(pen(kInk));
        p.setBrush(kPaper);
        p.drawRect(QRectF(9, 3, 14, 10));
        p.setBrush(QColor(0x8a, 0x94, 0xa0));
        p.drawRoundedRect(QRectF(3, 12, 26, 12), 2, 2);
        p.setBrush(kPaper);
        p.drawRect(QRectF(9, 19, 14, 10));
        break;
    default: // image indexes no command uses
        page(p, QRectF(7, 3, 18, 26));
        break;
    }
}

const char *themeName(int index)
{
    switch (index) {
    case 0:
        return "mail-message-new";
    case 1:
        return "internet-web-browser";
    case 2:
        return "help-contents";
    case 3:
        return "application-exit";
    case 6:
        return "list-add";
    case 7:
        return "help-about";
    case 8:
        return "edit-copy";
    case 9:
        return "edit-delete";
    case 11:
        return "preferences-desktop-font";
    case 12:
        return "mail-send";
    case 14:
        return "document-save";
    case 15:
        return "document-revert";
    case 17:
        return "system-software-update";
    case 18:
        return "document-edit";
    case 19:
        return "document-print";
    default:
        return nullptr;
    }
}

} // namespace

QIcon imageListIcon(int index)
{
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        drawIcon(painter, index);
    }
    const QIcon drawn(pixmap);
    const char *name = themeName(index);
    return name != nullptr ? QIcon::fromTheme(QString::fromLatin1(name), drawn) : drawn;
}

QIcon programIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        // A blue book with rings, and an envelope on its cover.
        p.setPen(pen(QColor(0x1d, 0x3f, 0x75), 3));
        p.setBrush(QColor(0x2f, 0x6f, 0xc2));
        p.drawRoundedRect(QRectF(10, 4, 46, 56), 5, 5);
        p.setBrush(QColor(0xe8, 0xee, 0xf6));
        for (int y = 12; y <= 48; y += 12)
            p.drawRoundedRect(QRectF(5, y, 10, 5), 2, 2);
        p.setPen(pen(kInk, 2.5));
        p.setBrush(kPaper);
        p.drawRoundedRect(QRectF(20, 20, 30, 22), 2, 2);
        p.setBrush(Qt::NoBrush);
        QPainterPath flap;
        flap.moveTo(21, 21);
        flap.lineTo(35, 33);
        flap.lineTo(49, 21);
        p.drawPath(flap);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace kvillo
