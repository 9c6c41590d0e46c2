// Draws the program's pictures: the icon (two grey monitors joined by a
// cable) in several sizes and the title picture of the title window.
//
//   draw_art <resources-dir>
//
// The icon is made of filled rectangles only, so one list of rectangles gives
// a pixel-exact 32 x 32 picture, a clean scaled-up picture at any larger size
// and an SVG. 16 x 16 has its own list: halving the 32 x 32 one loses the
// screens. The 16 and 32 pixel icons use only the 16 colours of the classic
// VGA palette and are written as 4-bit palette PNGs; the larger ones are
// written in full colour.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The VGA palette. Light magenta, the old colour key, is the one entry made
// transparent: a viewer that ignores transparency shows the familiar key.
enum Colour : int {
    black = 0,
    blue = 1,
    cyan = 3,
    light_grey = 7,
    dark_grey = 8,
    light_green = 10,
    light_cyan = 11,
    transparent = 13,
    white = 15,
};

constexpr std::array<QRgb, 16> palette = {
    qRgba(0x00, 0x00, 0x00, 255), qRgba(0x00, 0x00, 0xAA, 255), qRgba(0x00, 0xAA, 0x00, 255),
    qRgba(0x00, 0xAA, 0xAA, 255), qRgba(0xAA, 0x00, 0x00, 255), qRgba(0xAA, 0x00, 0xAA, 255),
    qRgba(0xAA, 0x55, 0x00, 255), qRgba(0xAA, 0xAA, 0xAA, 255), qRgba(0x55, 0x55, 0x55, 255),
    qRgba(0x55, 0x55, 0xFF, 255), qRgba(0x55, 0xFF, 0x55, 255), qRgba(0x55, 0xFF, 0xFF, 255),
    qRgba(0xFF, 0x55, 0x55, 255), qRgba(0xFF, 0x55, 0xFF, 0),   qRgba(0xFF, 0xFF, 0x55, 255),
    qRgba(0xFF, 0xFF, 0xFF, 255),
};

struct Box {
    int x, y, w, h;
    Colour colour;
};
using Drawing = std::vector<Box>;

// A monitor of 15 x 15 units at (x, y), in the Windows 3.x/95 manner: a
// bevelled grey case, a blue screen with two lines of text, a stand.
void add_monitor(Drawing& d, int x, int y) {
    d.push_back({x, y, 15, 12, black});              // case outline
    d.push_back({x + 1, y + 1, 13, 10, light_grey});  // case
    d.push_back({x + 1, y + 1, 13, 1, white});        // bevel: lit top and left
    d.push_back({x + 1, y + 1, 1, 10, white});
    d.push_back({x + 1, y + 10, 13, 1, dark_grey});  // bevel: shaded bottom and right
    d.push_back({x + 13, y + 1, 1, 10, dark_grey});
    d.push_back({x + 3, y + 2, 9, 7, dark_grey});  // screen's sunken frame
    d.push_back({x + 4, y + 3, 8, 6, white});
    d.push_back({x + 4, y + 3, 7, 5, blue});          // screen
    d.push_back({x + 5, y + 4, 4, 1, light_cyan});  // text on the screen
    d.push_back({x + 5, y + 6, 5, 1, light_cyan});
    d.push_back({x + 11, y + 9, 1, 1, light_green});  // power light
    d.push_back({x + 5, y + 12, 5, 1, black});        // neck
    d.push_back({x + 6, y + 12, 3, 1, dark_grey});
    d.push_back({x + 2, y + 13, 11, 2, black});  // foot
    d.push_back({x + 3, y + 13, 9, 1, light_grey});
}

Drawing icon_32() {
    Drawing d;
    // The cable first, so that the monitors' outlines close over its ends:
    // out of the back monitor's foot, down and across into the front one.
    d.push_back({7, 15, 2, 8, black});
    d.push_back({7, 21, 10, 2, black});
    d.push_back({8, 15, 1, 7, dark_grey});
    d.push_back({8, 21, 9, 1, dark_grey});
    add_monitor(d, 0, 1);    // back, upper left
    add_monitor(d, 17, 16);  // front, lower right
    // The plug where the cable enters the front monitor.
    d.push_back({15, 20, 2, 4, dark_grey});
    d.push_back({15, 20, 2, 1, black});
    d.push_back({15, 23, 2, 1, black});
    return d;
}

// An 8 x 9 monitor for the 16 x 16 icon.
void add_small_monitor(Drawing& d, int x, int y) {
    d.push_back({x, y, 8, 7, black});
    d.push_back({x + 1, y + 1, 6, 5, light_grey});
    d.push_back({x + 2, y + 2, 4, 3, blue});
    d.push_back({x + 3, y + 3, 2, 1, light_cyan});
    d.push_back({x + 3, y + 7, 2, 1, dark_grey});
    d.push_back({x + 1, y + 8, 6, 1, black});
}

Drawing icon_16() {
    Drawing d;
    d.push_back({3, 8, 1, 4, black});
    d.push_back({3, 11, 6, 1, black});
    add_small_monitor(d, 0, 0);
    add_small_monitor(d, 8, 7);
    return d;
}

QImage render(const Drawing& d, int grid, int size, bool smooth) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, smooth);
    p.scale(double(size) / grid, double(size) / grid);
    for (const Box& b : d) p.fillRect(QRectF(b.x, b.y, b.w, b.h), QColor::fromRgba(palette[b.colour]));
    return image;
}

// --- a minimal PNG writer for 4-bit palette images --------------------------

std::uint32_t crc32(const QByteArray& bytes) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (char ch : bytes) c = table[(c ^ std::uint8_t(ch)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void put_u32(QByteArray& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.append(char((v >> shift) & 0xFF));
}

void put_chunk(QByteArray& out, const char* type, const QByteArray& data) {
    put_u32(out, std::uint32_t(data.size()));
    const QByteArray typed = QByteArray(type) + data;
    out += typed;
    put_u32(out, crc32(typed));
}

[[noreturn]] void fail(const QString& why) {
    std::fprintf(stderr, "draw_art: %s\n", qPrintable(why));
    std::exit(1);
}

int palette_index(QRgb pixel) {
    if (qAlpha(pixel) == 0) return transparent;
    for (int i = 0; i < int(palette.size()); ++i)
        if (palette[i] == pixel) return i;
    return -1;
}

void write_vga_png(const QImage& image, const QString& path) {
    QByteArray header;
    put_u32(header, std::uint32_t(image.width()));
    put_u32(header, std::uint32_t(image.height()));
    header.append(char(4));  // bits per pixel
    header.append(char(3));  // palette colour
    header.append(3, char(0));  // deflate, no filter method, not interlaced

    QByteArray plte, trns;
    for (QRgb c : palette) {
        plte.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
        trns.append(char(qAlpha(c)));
    }
    while (!trns.isEmpty() && std::uint8_t(trns.back()) == 255) trns.chop(1);

    QByteArray rows;
    for (int y = 0; y < image.height(); ++y) {
        rows.append(char(0));  // filter: none
        for (int x = 0; x < image.width(); x += 2) {
            int pair[2] = {0, 0};
            for (int k = 0; k < 2 && x + k < image.width(); ++k) {
                pair[k] = palette_index(image.pixel(x + k, y));
                if (pair[k] < 0) fail(QString("%1: colour outside the palette at %2,%3").arg(path).arg(x + k).arg(y));
            }
            rows.append(char(pair[0] << 4 | pair[1]));
        }
    }
    const QByteArray deflated = qCompress(rows, 9).mid(4);  // drop Qt's length prefix

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    put_chunk(png, "IHDR", header);
    put_chunk(png, "PLTE", plte);
    if (!trns.isEmpty()) put_chunk(png, "tRNS", trns);
    put_chunk(png, "IDAT", deflated);
    put_chunk(png, "IEND", {});

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size())
        fail(path + ": " + file.errorString());
}

void save(const QImage& image, const QString& path) {
    if (!image.save(path, "PNG")) fail(path + ": cannot write");
}

QString svg_of(const Drawing& d, int grid) {
    QString out;
    QTextStream s(&out);
    s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << grid << "\" height=\"" << grid
      << "\" viewBox=\"0 0 " << grid << ' ' << grid << "\" shape-rendering=\"crispEdges\">\n";
    for (const Box& b : d) {
        s << "  <rect x=\"" << b.x << "\" y=\"" << b.y << "\" width=\"" << b.w << "\" height=\""
          << b.h << "\" fill=\"" << QColor::fromRgba(palette[b.colour]).name() << "\"/>\n";
    }
    s << "</svg>\n";
    return out;
}

// --- the title picture -------------------------------------------------------

// 325 x 36 pixels times `scale`: the words are drawn afresh at each scale,
// so the picture stays sharp on a screen scaled by 2.
QImage title_picture(int scale) {
    const int width = 325 * scale, height = 36 * scale, margin_x = 4 * scale,
              margin_y = 3 * scale;
    const QString words = "Vuzazuvevo Rivoredi";

    QString family = "Liberation Sans";
    for (const char* file : {"/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf",
                             "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf"}) {
        const int id = QFontDatabase::addApplicationFont(file);
        if (id >= 0) {
            family = QFontDatabase::applicationFontFamilies(id).value(0, family);
            break;
        }
    }

    // The largest size whose outline fits inside the margins; the words have
    // no descenders, so centring the outline centres what the eye sees.
    QPainterPath best;
    for (int px = 8 * scale; px <= 60 * scale; ++px) {
        QFont font(family);
        font.setBold(true);
        font.setPixelSize(px);
        font.setHintingPreference(QFont::PreferNoHinting);
        QPainterPath path;
        path.addText(0, 0, font, words);
        const QRectF r = path.boundingRect();
        if (r.width() > width - 2 * margin_x || r.height() > height - 2 * margin_y) break;
        best = path;
    }
    if (best.isEmpty()) fail("no font size fits the title");

    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = best.boundingRect();
    p.translate(QPointF(width, height) / 2 - r.center());
    p.fillPath(best, Qt::white);
    p.end();
    return image.convertToFormat(QImage::Format_RGB888);  // 24-bit, no alpha
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_art <resources-dir>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath("icons")) fail(out.path() + "/icons: cannot create");

    const Drawing big = icon_32();
    write_vga_png(render(big, 32, 32, false), out.filePath("icons/tolvane-32.png"));
    write_vga_png(render(icon_16(), 16, 16, false), out.filePath("icons/tolvane-16.png"));
    for (int size : {48, 64, 128, 256})
        save(render(big, 32, size, true), out.filePath(QString("icons/tolvane-%1.png").arg(size)));

    QFile svg(out.filePath("icons/tolvane.svg"));
    if (!svg.open(QIODevice::WriteOnly | QIODevice::Text) || svg.write(svg_of(big, 32).toUtf8()) < 0)
        fail(svg.fileName() + ": cannot write");

    save(title_picture(1), out.filePath("title.png"));
    save(title_picture(2), out.filePath("title@2x.png"));
    return 0;
}
