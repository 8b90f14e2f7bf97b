#pragma once

// The offscreen platform's screen is 800 × 600 unless it is told otherwise, smaller than
// the main window with its frame. A test of the window against its screen gives the
// platform a screen of a real monitor's size; call before the application object exists.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

inline void UseOffscreenScreen(int width, int height)
{
    if (qgetenv("QT_QPA_PLATFORM") != "offscreen")
        return;               // a real display keeps its own screens
    static QTemporaryDir dir; // read when the application object starts the platform
    const QString file = dir.filePath(QStringLiteral("screen.json"));
    QFile out(file);
    if (!dir.isValid() || !out.open(QIODevice::WriteOnly))
        return;
    out.write(QStringLiteral(R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": %1,
        "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                  .arg(width)
                  .arg(height)
                  .toUtf8());
    out.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QDir::toNativeSeparators(file).toUtf8());
}
