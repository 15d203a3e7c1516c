#pragma once
// The page the browser tests drag images out of, and its pictures: a red
// image, a blue thumbnail inside a link to its full-size image and a green
// image inside a link to a web page, each 300 x 200 on the page.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <string>

#include "support/temp_dir.h"

namespace zx::test {

// A 60 x 40 PNG of one colour.
inline std::string SolidPng(Qt::GlobalColor colour) {
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// Writes the page's pictures and linked page into `root`, a server's folder.
inline void WriteDropImages(const TempDir& root) {
    root.WriteFile("about.html", "<html><body>about</body></html>");
    root.WriteFile("red.png", SolidPng(Qt::red));
    root.WriteFile("blue.png", SolidPng(Qt::blue));
    root.WriteFile("green.png", SolidPng(Qt::green));
}

// The page, titled "Drop page", with its pictures at `server` (an address
// without the final slash). It is opened as a local file.
inline std::string DropPage(const std::string& server) {
    std::string page = R"(<!DOCTYPE html><html><head><title>Drop page</title></head>
<body style="margin:0;background:#eee">
<img src="@/red.png" style="position:absolute;left:100px;top:150px;width:300px;height:200px">
<a href="@/blue.png"><img src="@/blue.png?thumb=1" style="position:absolute;left:500px;top:150px;width:300px;height:200px"></a>
<a href="@/about.html"><img src="@/green.png" style="position:absolute;left:100px;top:400px;width:300px;height:200px"></a>
</body></html>)";
    for (size_t at = page.find('@'); at != std::string::npos; at = page.find('@', at + server.size()))
        page.replace(at, 1, server);
    return page;
}

}  // namespace zx::test
