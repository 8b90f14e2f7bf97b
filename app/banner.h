#pragma once

// The banner picture at the top of the main window: a JPEG decoded with libjpeg.

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes a JPEG held in memory. A damaged, truncated or oversized picture gives a null
// image and, when error is given, the decoder's reason; it never ends the process.
QImage DecodeJpeg(const QByteArray &data, QString *error = nullptr);
// Reads and decodes a JPEG file (a Qt resource path such as ":/app/banner.jpg" too).
QImage LoadJpegFile(const QString &fileName, QString *error = nullptr);

// The banner built into the program.
QImage LoadBanner();
