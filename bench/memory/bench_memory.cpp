// Shows the program's 24 HTML views with images, as the bar and its popup do,
// waits until every view has painted its image, and reports the memory of
// the program together with the engine's processes.
//
//   bench_memory [--flags "<chromium switches>"] [--settle <ms>] [--grab <file.png>]
//
// --flags replaces the switches the program uses (to compare others);
// --grab saves what the largest preview shows, to compare picture quality.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/cell_document.h"
#include "base/text.h"
#include "htmlview/embedded_wb.h"
#include "htmlview/webengine_engine.h"
#include "image_server.h"
#include "process_memory.h"

namespace {

using zx::HtmlViewOptions;
using zx::TEmbeddedWB;

std::string CellPage(const std::string& address) {
    return zx::JoinLinesCRLF(zx::MakeImagePage(zx::CellPageTemplate(), address));
}

std::string ActualSizePage(const std::string& address) {
    return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"\r\n"
           "\"http://www.w3.org/TR/html4/loose.dtd\">\r\n<html>\r\n<head>\r\n<title>Image</title>\r\n"
           "<body scroll=\"no\" TOPMARGIN=0 LEFTMARGIN=0 MARGINHEIGHT=0 MARGINWIDTH=0>\r\n"
           "<img margin=\"0\" border=\"0\" src=\"" +
           address + "\">\r\n</body>\r\n</head>\r\n</html>";
}

// True once the view shows something other than an empty white page.
bool HasPainted(TEmbeddedWB& view) {
    const QImage image = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qRed(row[x]) < 200 || qGreen(row[x]) < 200 || qBlue(row[x]) < 200) ++coloured;
        }
    }
    return coloured * 10 > image.width() * image.height();  // a tenth of the view
}

void Spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string flags = zx::DefaultChromiumFlags();
    int settleMs = 3000;
    QString grabFile;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--flags") == 0) {
            flags = argv[i + 1];
        } else if (std::strcmp(argv[i], "--settle") == 0) {
            settleMs = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--grab") == 0) {
            grabFile = QString::fromLocal8Bit(argv[i + 1]);
        } else {
            std::fprintf(stderr, "usage: %s [--flags \"<chromium switches>\"] [--settle <ms>] [--grab <file.png>]\n",
                         argv[0]);
            return 2;
        }
    }
    zx::InstallWebEngineFactory(flags);  // before the application object, as the program does
    QApplication app(argc, argv);
    zx::bench::ImageServer server;
    const QStringList images = server.Addresses();

    // The bar: twenty cells in a row.
    QWidget bar;
    bar.setGeometry(0, 0, 83 + 78 * 20, 70);
    std::vector<std::unique_ptr<TEmbeddedWB>> views;
    for (int i = 0; i < 20; ++i) {
        views.push_back(std::make_unique<TEmbeddedWB>(&bar));
        views.back()->setGeometry(83 + 78 * i, 10, 71, 51);
    }
    // The popup: three previews and the actual-size view.
    QWidget popup;
    popup.setGeometry(0, 70, 400, 303);
    HtmlViewOptions preview;
    preview.silent = false;
    HtmlViewOptions actual;
    actual.fitImage = false;
    const QRect popupViews[] = {{71, 8, 80, 80}, {8, 96, 143, 144}, {160, 8, 229, 232}, {8, 34, 54, 25}};
    for (int i = 0; i < 4; ++i) {
        views.push_back(std::make_unique<TEmbeddedWB>(&popup, i < 3 ? preview : actual));
        views.back()->setGeometry(popupViews[i]);
    }
    bar.show();
    popup.show();

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 20; ++i) views[i]->HTMLCode().SetText(CellPage(images[i % images.size()].toStdString()));
    for (int i = 20; i < 23; ++i) views[i]->HTMLCode().SetText(CellPage(images[0].toStdString()));
    views[23]->HTMLCode().SetText(ActualSizePage(images[0].toStdString()));

    std::vector<bool> painted(views.size(), false);
    size_t done = 0;
    while (done < views.size() && timer.elapsed() < 60000) {
        Spin(50);
        for (size_t i = 0; i < views.size(); ++i) {
            if (!painted[i] && HasPainted(*views[i])) {
                painted[i] = true;
                ++done;
            }
        }
    }
    const qint64 paintMs = timer.elapsed();
    std::printf("flags: %s\n", flags.c_str());
    std::printf("views painted: %zu of %zu after %lld ms\n", done, views.size(), static_cast<long long>(paintMs));

    Spin(settleMs);
    if (!grabFile.isEmpty()) views[22]->grab().save(grabFile);
    long total = 0;
    for (const auto& p : zx::bench::ProcessTreeMemory(getpid())) {
        std::printf("  %7d %-24s %8.1f MiB\n", static_cast<int>(p.pid), p.name.c_str(), p.pssKiB / 1024.0);
        total += p.pssKiB;
    }
    std::printf("PSS total: %.1f MiB\n", total / 1024.0);
    views.clear();
    return done == 24 ? 0 : 1;
}
