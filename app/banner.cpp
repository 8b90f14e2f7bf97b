#include "banner.h"

#include <QFile>
#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace {

// Pictures larger than this are not banners; refusing them keeps a bad header from asking
// for gigabytes.
constexpr JDIMENSION MaxSide = 8192;

struct TErrorManager
{
    jpeg_error_mgr pub; // first, so the library's pointer is ours too
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool damaged;
};

[[noreturn]] void ErrorExit(j_common_ptr info)
{
    auto *err = reinterpret_cast<TErrorManager *>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

void EmitMessage(j_common_ptr info, int level)
{
    // Level -1 is a warning about damaged data (a truncated file among them): the library
    // would patch over it with grey; the banner would rather stay empty.
    auto *err = reinterpret_cast<TErrorManager *>(info->err);
    if (level < 0 && !err->damaged) {
        err->damaged = true;
        (*info->err->format_message)(info, err->message);
    }
}

} // namespace

QImage DecodeJpeg(const QByteArray &data, QString *error)
{
    if (data.isEmpty()) {
        if (error)
            *error = QStringLiteral("empty picture");
        return {};
    }

    jpeg_decompress_struct cinfo{};
    TErrorManager jerr{};
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = ErrorExit;
    jerr.pub.emit_message = EmitMessage;

    // Everything the jump may cross is set up before setjmp and is trivially destructible;
    // the picture is kept in the QImage declared here.
    QImage image;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_decompress(&cinfo);
        if (error)
            *error = QString::fromLocal8Bit(jerr.message);
        return {};
    }

    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.image_width == 0 || cinfo.image_height == 0 || cinfo.image_width > MaxSide ||
        cinfo.image_height > MaxSide) {
        jpeg_destroy_decompress(&cinfo);
        if (error)
            *error = QStringLiteral("picture size out of range");
        return {};
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);

    image = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB888);
    if (image.isNull() || cinfo.output_components != 3) {
        jpeg_destroy_decompress(&cinfo);
        if (error)
            *error = QStringLiteral("picture cannot be held");
        return {};
    }
    while (cinfo.output_scanline < cinfo.output_height && !jerr.damaged) {
        JSAMPROW row = image.scanLine(int(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    if (jerr.damaged) {
        jpeg_destroy_decompress(&cinfo);
        if (error)
            *error = QString::fromLocal8Bit(jerr.message);
        return {};
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (jerr.damaged) {
        if (error)
            *error = QString::fromLocal8Bit(jerr.message);
        return {};
    }
    return image;
}

QImage LoadJpegFile(const QString &fileName, QString *error)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return {};
    }
    return DecodeJpeg(f.readAll(), error);
}

QImage LoadBanner()
{
    return LoadJpegFile(QStringLiteral(":/app/banner.jpg"));
}
