// Draws the banner of the main window's top bar and writes it as a JPEG. Run once when the
// banner changes; the picture is kept in app/resources/banner.jpg.
//
//     ardemo_makebanner app/resources/banner.jpg

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <jpeglib.h>

namespace {

QImage Draw()
{
    QImage img(345, 47, QImage::Format_RGB888);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // A soft band from the light blue of the left bar into the white top bar.
    QLinearGradient band(0, 0, 345, 0);
    band.setColorAt(0.0, QColor(195, 210, 235));
    band.setColorAt(0.55, QColor(236, 242, 250));
    band.setColorAt(1.0, Qt::white);
    p.fillRect(img.rect(), band);

    // The mark: a voltage program as steps in a rounded navy square.
    const QRectF mark(6, 5, 37, 37);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1F, 0x3A, 0x6E));
    p.drawRoundedRect(mark, 7, 7);
    QPainterPath steps;
    steps.moveTo(11, 35);
    steps.lineTo(17, 35);
    steps.lineTo(17, 26);
    steps.lineTo(24, 26);
    steps.lineTo(24, 15);
    steps.lineTo(31, 15);
    steps.lineTo(31, 22);
    steps.lineTo(38, 22);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xFF, 0xC8, 0x3D), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(steps);

    QFont name(QStringLiteral("DejaVu Sans"));
    name.setPixelSize(25);
    name.setBold(true);
    name.setLetterSpacing(QFont::AbsoluteSpacing, 2.0);
    p.setFont(name);
    p.setPen(QColor(0x1F, 0x3A, 0x6E));
    p.drawText(QPointF(52, 29), QStringLiteral("ARDEMO"));

    QFont maker(QStringLiteral("DejaVu Sans"));
    maker.setPixelSize(11);
    maker.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    p.setFont(maker);
    p.setPen(QColor(0x55, 0x66, 0x88));
    p.drawText(QPointF(54, 42), QStringLiteral("TORMELA  ·  DC 0–300 V"));

    // A thin line of the lines A to D on the right.
    const QColor lineColours[4] = {QColor(0x2E, 0x7D, 0x32), QColor(0xC6, 0x28, 0x28),
                                   QColor(0x15, 0x65, 0xC0), QColor(0xEF, 0x6C, 0x00)};
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(lineColours[i], 3, Qt::SolidLine, Qt::RoundCap));
        const double y = 12 + i * 7.5;
        p.drawLine(QPointF(236, y), QPointF(330 - i * 14, y));
    }
    p.end();
    return img;
}

bool WriteJpeg(const QImage &img, const char *path)
{
    FILE *out = std::fopen(path, "wb");
    if (!out)
        return false;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = JDIMENSION(img.width());
    cinfo.image_height = JDIMENSION(img.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 92, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uchar *>(img.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <banner.jpg>\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (!WriteJpeg(Draw(), argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
