// Draws the program's pictures (navigation buttons, tray icon, tool bar and
// menu pictures) and writes them as PNG files into the folder given on the
// command line. The PNG files are committed in src/ui/icons; run this again
// after changing a drawing:  build/tools/icons/make_icons src/ui/icons
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <functional>

namespace {

using Draw = std::function<void(QPainter &)>;

// Every drawing works on a 32 x 32 canvas and is scaled to the wanted size.
void Save(const QString &folder, const QString &name, int size, const Draw &draw)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    draw(p);
    p.end();
    image.save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

QPen Pen(const QColor &c, double w)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Sheet(QPainter &p, const QRectF &r, const QColor &fill = Qt::white)
{
    p.setPen(Pen(QColor(70, 70, 70), 1.5));
    p.setBrush(fill);
    p.drawRoundedRect(r, 1.5, 1.5);
}

void Lines(QPainter &p, const QRectF &r, int count)
{
    p.setPen(Pen(QColor(90, 110, 160), 1.5));
    for (int i = 0; i < count; ++i) {
        const double y = r.top() + 5 + i * (r.height() - 8) / std::max(1, count - 1 + 1);
        p.drawLine(QPointF(r.left() + 4, y), QPointF(r.right() - 4, y));
    }
}

void Bell(QPainter &p, const QColor &body, const QColor &edge)
{
    QPainterPath path;
    path.moveTo(16, 4);
    path.cubicTo(9, 4, 8, 10, 8, 15);
    path.lineTo(8, 20);
    path.lineTo(5, 24);
    path.lineTo(27, 24);
    path.lineTo(24, 20);
    path.lineTo(24, 15);
    path.cubicTo(24, 10, 23, 4, 16, 4);
    p.setPen(Pen(edge, 1.8));
    p.setBrush(body);
    p.drawPath(path);
    p.drawEllipse(QPointF(16, 26.5), 3, 3);
    p.drawEllipse(QPointF(16, 3.5), 1.6, 1.6);
}

void Calendar(QPainter &p)
{
    Sheet(p, QRectF(3, 5, 26, 24));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 40, 40));
    p.drawRect(QRectF(3.75, 5.75, 24.5, 6));
    p.setBrush(QColor(80, 80, 80));
    p.drawRoundedRect(QRectF(8, 2, 3, 6), 1, 1);
    p.drawRoundedRect(QRectF(21, 2, 3, 6), 1, 1);
    p.setBrush(QColor(120, 140, 70));
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 4; ++col)
            p.drawRect(QRectF(6.5 + col * 5.5, 14 + row * 4.7, 3.5, 3));
    }
    p.setBrush(QColor(255, 220, 60));
    p.drawRect(QRectF(12, 18.7, 3.5, 3));
}

void List(QPainter &p)
{
    Sheet(p, QRectF(4, 3, 24, 27));
    for (int i = 0; i < 5; ++i) {
        const double y = 8 + i * 4.6;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(90, 120, 40));
        p.drawEllipse(QPointF(9, y), 1.6, 1.6);
        p.setPen(Pen(QColor(60, 80, 140), 1.6));
        p.drawLine(QPointF(13, y), QPointF(24, y));
    }
}

void Bin(QPainter &p, bool full)
{
    if (full) {
        p.setPen(Pen(QColor(90, 90, 90), 1));
        p.setBrush(QColor(250, 250, 235));
        p.drawPolygon(QPolygonF({QPointF(9, 9), QPointF(15, 1), QPointF(19, 4), QPointF(14, 10)}));
        p.setBrush(QColor(255, 230, 140));
        p.drawPolygon(QPolygonF({QPointF(15, 9), QPointF(22, 3), QPointF(25, 7), QPointF(20, 11)}));
    }
    p.setPen(Pen(QColor(60, 60, 60), 1.6));
    p.setBrush(QColor(170, 180, 190));
    p.drawRoundedRect(QRectF(5, 8, 22, 3.5), 1, 1);
    QPainterPath body;
    body.moveTo(7.5, 11.5);
    body.lineTo(9.5, 29);
    body.lineTo(22.5, 29);
    body.lineTo(24.5, 11.5);
    body.closeSubpath();
    p.setBrush(full ? QColor(150, 170, 120) : QColor(200, 208, 215));
    p.drawPath(body);
    p.setPen(Pen(QColor(80, 80, 80), 1.3));
    for (double x : {12.5, 16.0, 19.5})
        p.drawLine(QPointF(x, 14), QPointF(x, 26));
}

void Gear(QPainter &p)
{
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double a = i * M_PI / teeth;
        const double r = (i % 2) ? 11.0 : 14.0;
        const QPointF pt(16 + r * std::cos(a), 16 + r * std::sin(a));
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    p.setPen(Pen(QColor(60, 60, 60), 1.4));
    p.setBrush(QColor(150, 167, 82));
    p.drawPath(gear);
    p.setBrush(QColor(245, 245, 235));
    p.drawEllipse(QPointF(16, 16), 5, 5);
}

void Arrow(QPainter &p, bool left, bool bar, bool doubled = false)
{
    p.setPen(Pen(QColor(30, 60, 130), 2.2));
    p.setBrush(QColor(80, 130, 210));
    const auto tri = [&](double x) {
        if (left)
            p.drawPolygon(QPolygonF({QPointF(x + 8, 7), QPointF(x, 16), QPointF(x + 8, 25)}));
        else
            p.drawPolygon(QPolygonF({QPointF(x, 7), QPointF(x + 8, 16), QPointF(x, 25)}));
    };
    if (doubled) {
        tri(left ? 7 : 9);
        tri(left ? 15 : 17);
    } else {
        tri(left ? 13 : 11);
    }
    if (bar) {
        const double x = left ? 8 : 24;
        p.drawLine(QPointF(x, 7), QPointF(x, 25));
    }
}

void Cross(QPainter &p, const QColor &c, const QRectF &r)
{
    p.setPen(Pen(c, 3.2));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomLeft());
}

void Check(QPainter &p)
{
    p.setPen(Pen(QColor(30, 140, 40), 4));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(6, 17), QPointF(13, 24), QPointF(26, 8)}));
}

void Plus(QPainter &p, const QPointF &c, double r, const QColor &color = QColor(30, 140, 40))
{
    p.setPen(Pen(color, 3));
    p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
}

void Pencil(QPainter &p)
{
    p.setPen(Pen(QColor(60, 60, 60), 1.4));
    p.setBrush(QColor(250, 200, 60));
    p.drawPolygon(QPolygonF({QPointF(22, 4), QPointF(28, 10), QPointF(12, 26), QPointF(6, 20)}));
    p.setBrush(QColor(240, 210, 170));
    p.drawPolygon(QPolygonF({QPointF(6, 20), QPointF(12, 26), QPointF(4, 28)}));
}

void Undo(QPainter &p, double y, const QColor &c)
{
    QPainterPath path;
    path.moveTo(26, y + 12);
    path.cubicTo(26, y + 2, 16, y, 9, y + 4);
    p.setPen(Pen(c, 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setBrush(c);
    p.setPen(Pen(c, 1));
    p.drawPolygon(QPolygonF({QPointF(4, y + 6), QPointF(12, y - 1), QPointF(13, y + 9)}));
}

void Globe(QPainter &p)
{
    p.setPen(Pen(QColor(30, 80, 150), 1.6));
    p.setBrush(QColor(120, 180, 240));
    p.drawEllipse(QPointF(16, 16), 12, 12);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(16, 16), 5, 12);
    p.drawLine(QPointF(4, 16), QPointF(28, 16));
    p.drawLine(QPointF(6, 10), QPointF(26, 10));
    p.drawLine(QPointF(6, 22), QPointF(26, 22));
}

void Envelope(QPainter &p)
{
    p.setPen(Pen(QColor(70, 70, 70), 1.6));
    p.setBrush(QColor(250, 245, 220));
    p.drawRect(QRectF(3, 8, 26, 17));
    p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(16, 18), QPointF(29, 8)}));
}

void Round(QPainter &p, const QColor &fill, const QString &text)
{
    p.setPen(Pen(fill.darker(150), 1.6));
    p.setBrush(fill);
    p.drawEllipse(QPointF(16, 16), 13, 13);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(20);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, text);
}

void Power(QPainter &p)
{
    p.setPen(Pen(QColor(190, 30, 30), 3.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5, 6, 22, 22), 120 * 16, 300 * 16);
    p.drawLine(QPointF(16, 3), QPointF(16, 15));
}

void Printer(QPainter &p)
{
    Sheet(p, QRectF(9, 3, 14, 10));
    p.setPen(Pen(QColor(60, 60, 60), 1.6));
    p.setBrush(QColor(170, 180, 190));
    p.drawRoundedRect(QRectF(3, 12, 26, 12), 2, 2);
    Sheet(p, QRectF(9, 20, 14, 9));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 200, 60));
    p.drawEllipse(QPointF(25, 16), 1.5, 1.5);
}

void Folder(QPainter &p, const QColor &c)
{
    p.setPen(Pen(c.darker(160), 1.5));
    p.setBrush(c);
    p.drawPolygon(
        QPolygonF({QPointF(3, 8), QPointF(12, 8), QPointF(15, 11), QPointF(29, 11), QPointF(29, 27), QPointF(3, 27)}));
}

void Refresh(QPainter &p)
{
    p.setPen(Pen(QColor(30, 130, 60), 3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(6, 6, 20, 20), 30 * 16, 280 * 16);
    p.setBrush(QColor(30, 130, 60));
    p.drawPolygon(QPolygonF({QPointF(25, 3), QPointF(27, 12), QPointF(18, 10)}));
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    // Navigation buttons and the tray (32 x 32).
    Save(out, QStringLiteral("nav_calendar"), 32, Calendar);
    Save(out, QStringLiteral("nav_list"), 32, List);
    Save(out, QStringLiteral("nav_trash_empty"), 32, [](QPainter &p) { Bin(p, false); });
    Save(out, QStringLiteral("nav_trash_full"), 32, [](QPainter &p) { Bin(p, true); });
    Save(out, QStringLiteral("nav_options"), 32, Gear);
    for (int size : {32, 64}) {
        const QString suffix = size == 32 ? QString() : QStringLiteral("@2x");
        Save(out, QStringLiteral("tray_active") + suffix, size, [](QPainter &p) {
            Bell(p, QColor(250, 200, 40), QColor(120, 80, 0));
            p.setPen(Pen(QColor(200, 60, 30), 1.8));
            p.drawArc(QRectF(0, 6, 8, 14), 100 * 16, 160 * 16);
            p.drawArc(QRectF(24, 6, 8, 14), -80 * 16, 160 * 16);
        });
        Save(out, QStringLiteral("tray_inactive") + suffix, size, [](QPainter &p) {
            Bell(p, QColor(190, 190, 190), QColor(90, 90, 90));
            p.setPen(Pen(QColor(190, 30, 30), 3));
            p.drawLine(QPointF(4, 28), QPointF(28, 4));
        });
    }

    // Tool bar and menu pictures (16 x 16).
    const QList<QPair<QString, Draw>> small = {
        {QStringLiteral("delete"), [](QPainter &p) { Cross(p, QColor(200, 30, 30), QRectF(7, 7, 18, 18)); }},
        {QStringLiteral("duplicate"),
         [](QPainter &p) {
             Sheet(p, QRectF(3, 3, 17, 21), QColor(235, 240, 250));
             Sheet(p, QRectF(11, 9, 17, 21));
         }},
        {QStringLiteral("new"),
         [](QPainter &p) {
             Sheet(p, QRectF(4, 3, 19, 26));
             Plus(p, QPointF(22, 22), 6);
         }},
        {QStringLiteral("edit"), Pencil},
        {QStringLiteral("confirm"), Check},
        {QStringLiteral("cancel"),
         [](QPainter &p) {
             p.setPen(Pen(QColor(200, 30, 30), 2.4));
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QPointF(16, 16), 12, 12);
             Cross(p, QColor(200, 30, 30), QRectF(11, 11, 10, 10));
         }},
        {QStringLiteral("first"), [](QPainter &p) { Arrow(p, true, true); }},
        {QStringLiteral("prior"), [](QPainter &p) { Arrow(p, true, false); }},
        {QStringLiteral("next"), [](QPainter &p) { Arrow(p, false, false); }},
        {QStringLiteral("last"), [](QPainter &p) { Arrow(p, false, true); }},
        {QStringLiteral("purge"),
         [](QPainter &p) {
             Bin(p, false);
             Cross(p, QColor(200, 30, 30), QRectF(16, 16, 12, 12));
         }},
        {QStringLiteral("purge_all"),
         [](QPainter &p) {
             Bin(p, true);
             Cross(p, QColor(200, 30, 30), QRectF(16, 16, 12, 12));
         }},
        {QStringLiteral("restore"), [](QPainter &p) { Undo(p, 10, QColor(30, 130, 60)); }},
        {QStringLiteral("restore_all"),
         [](QPainter &p) {
             Undo(p, 4, QColor(30, 130, 60));
             Undo(p, 16, QColor(30, 130, 60));
         }},
        {QStringLiteral("new_alarm"),
         [](QPainter &p) {
             Bell(p, QColor(250, 200, 40), QColor(120, 80, 0));
             Plus(p, QPointF(24, 24), 6);
         }},
        {QStringLiteral("calendar"), Calendar},
        {QStringLiteral("list"), List},
        {QStringLiteral("trash"), [](QPainter &p) { Bin(p, false); }},
        {QStringLiteral("options"), Gear},
        {QStringLiteral("manage"), [](QPainter &p) { Folder(p, QColor(240, 200, 90)); }},
        {QStringLiteral("state"), [](QPainter &p) { Bell(p, QColor(250, 200, 40), QColor(120, 80, 0)); }},
        {QStringLiteral("reminder"),
         [](QPainter &p) {
             Calendar(p);
             Check(p);
         }},
        {QStringLiteral("print"), Printer},
        {QStringLiteral("import"),
         [](QPainter &p) {
             Folder(p, QColor(240, 200, 90));
             p.setPen(Pen(QColor(30, 130, 60), 3));
             p.drawLine(QPointF(16, 2), QPointF(16, 20));
             p.drawPolyline(QPolygonF({QPointF(10, 14), QPointF(16, 20), QPointF(22, 14)}));
         }},
        {QStringLiteral("export"),
         [](QPainter &p) {
             Folder(p, QColor(240, 200, 90));
             p.setPen(Pen(QColor(30, 80, 170), 3));
             p.drawLine(QPointF(16, 20), QPointF(16, 2));
             p.drawPolyline(QPolygonF({QPointF(10, 8), QPointF(16, 2), QPointF(22, 8)}));
         }},
        {QStringLiteral("active"), [](QPainter &p) { Bell(p, QColor(250, 200, 40), QColor(120, 80, 0)); }},
        {QStringLiteral("inactive"), [](QPainter &p) { Bell(p, QColor(190, 190, 190), QColor(90, 90, 90)); }},
        {QStringLiteral("support"), [](QPainter &p) { Round(p, QColor(60, 130, 200), QStringLiteral("?")); }},
        {QStringLiteral("help"), [](QPainter &p) { Round(p, QColor(60, 130, 200), QStringLiteral("?")); }},
        {QStringLiteral("document"),
         [](QPainter &p) {
             Sheet(p, QRectF(5, 2, 22, 28));
             Lines(p, QRectF(5, 4, 22, 24), 5);
         }},
        {QStringLiteral("web"), Globe},
        {QStringLiteral("mail"), Envelope},
        {QStringLiteral("update"), Refresh},
        {QStringLiteral("about"), [](QPainter &p) { Round(p, QColor(150, 167, 82), QStringLiteral("i")); }},
        {QStringLiteral("exit"), Power},
        // The alarm box: close of a periodic alarm, remember, no launch and
        // the three priorities.
        {QStringLiteral("close_periodic"),
         [](QPainter &p) {
             Refresh(p);
             Check(p);
         }},
        {QStringLiteral("remember"),
         [](QPainter &p) {
             p.setPen(Pen(QColor(40, 60, 120), 2.4));
             p.setBrush(QColor(250, 250, 235));
             p.drawEllipse(QPointF(16, 16), 13, 13);
             p.drawLine(QPointF(16, 16), QPointF(16, 7));
             p.drawLine(QPointF(16, 16), QPointF(23, 19));
         }},
        {QStringLiteral("no_launch"),
         [](QPainter &p) {
             Sheet(p, QRectF(3, 5, 26, 22), QColor(220, 230, 245));
             Cross(p, QColor(200, 30, 30), QRectF(10, 11, 12, 12));
         }},
        {QStringLiteral("priority_low"), [](QPainter &p) { Round(p, QColor(60, 160, 70), QStringLiteral("-")); }},
        {QStringLiteral("priority_normal"), [](QPainter &p) { Round(p, QColor(60, 130, 200), QStringLiteral("=")); }},
        {QStringLiteral("priority_high"), [](QPainter &p) { Round(p, QColor(210, 40, 40), QStringLiteral("!")); }},
    };
    for (const auto &[name, draw] : small)
        Save(out, name, 16, draw);
    return 0;
}
