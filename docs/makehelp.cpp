// Prints a help document from its HTML source to PDF, A4 with page numbers.
//
//     ardemo_makehelp Help_Ardemo_EN.html Help_Ardemo_EN.pdf

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <help.html> <help.pdf>\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);

    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument doc;
    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPointSizeF(10);
    doc.setDefaultFont(body);
    doc.setHtml(QString::fromUtf8(in.readAll()));

    QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
    pdf.setCreator(QStringLiteral("Ardemo"));
    pdf.setTitle(doc.metaInformation(QTextDocument::DocumentTitle));
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                  QMarginsF(18, 16, 18, 16), QPageLayout::Millimeter));
    pdf.setResolution(300);
    doc.print(&pdf);
    return 0;
}
