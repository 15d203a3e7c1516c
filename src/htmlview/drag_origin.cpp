#include "htmlview/drag_origin.h"

#include <QChildEvent>
#include <QCoreApplication>
#include <QDrag>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QUrl>
#include <cstdlib>

#include "base/text.h"
#include "platform/platform.h"
#include "qtext/qt_text.h"

namespace zx {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Decodes the character references an HTML serializer writes in an attribute.
std::string DecodeReferences(std::string_view text) {
    static constexpr struct {
        std::string_view name;
        char c;
    } kNamed[] = {{"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        bool done = false;
        for (const auto& n : kNamed) {
            if (text.substr(i, n.name.size()) == n.name) {
                out += n.c;
                i += n.name.size();
                done = true;
                break;
            }
        }
        if (done) continue;
        const size_t end = text.find(';', i);
        if (text.substr(i, 2) == "&#" && end != std::string_view::npos && end - i <= 10) {
            const bool hex = i + 2 < end && (text[i + 2] == 'x' || text[i + 2] == 'X');
            const std::string digits(text.substr(i + (hex ? 3 : 2), end - i - (hex ? 3 : 2)));
            char* stop = nullptr;
            const long code = digits.empty() ? -1 : std::strtol(digits.c_str(), &stop, hex ? 16 : 10);
            // Only ASCII: an address holds no other characters unencoded.
            if (stop && *stop == '\0' && code > 0 && code < 0x80) {
                out += static_cast<char>(code);
                i = end + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

// Looks at every drag the program starts, once it is under way.
class DragWatcher : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The engine makes its drag object as a child of the dragging window
        // while a button is held. The object is still being built when its
        // parent hears of it, so it is looked at from the drag's own event
        // loop, before the drag has left the program.
        if (event->type() == QEvent::ChildAdded && QGuiApplication::mouseButtons() != Qt::NoButton) {
            QPointer<QObject> child = static_cast<QChildEvent*>(event)->child();
            QMetaObject::invokeMethod(
                this,
                [child] {
                    if (auto* drag = qobject_cast<QDrag*>(child.data())) Record(*drag);
                },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static void Record(QDrag& drag) {
        const QMimeData* data = drag.mimeData();
        if (!data || !data->hasHtml() || !data->hasUrls()) return;
        const std::string address = DraggedImageAddress(ToStdString(data->html()));
        if (address.empty()) return;
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) platform().RecordOriginUrl(ToStdString(url.toLocalFile()), address);
    }
};

}  // namespace

std::string DraggedImageAddress(const std::string& html) {
    const std::string lower = AsciiLower(html);
    for (size_t at = lower.find("<img"); at != std::string::npos; at = lower.find("<img", at + 4)) {
        if (at + 4 < lower.size() && !IsSpace(lower[at + 4])) continue;
        const size_t close = lower.find('>', at);
        const size_t end = close == std::string::npos ? lower.size() : close;
        for (size_t s = lower.find("src", at); s != std::string::npos && s < end; s = lower.find("src", s + 3)) {
            if (!IsSpace(lower[s - 1])) continue;
            size_t v = s + 3;
            while (v < end && IsSpace(lower[v])) ++v;
            if (v >= end || lower[v] != '=') continue;
            ++v;
            while (v < end && IsSpace(lower[v])) ++v;
            if (v >= end) break;
            size_t stop;
            if (lower[v] == '"' || lower[v] == '\'') {
                stop = lower.find(lower[v], v + 1);
                ++v;
                if (stop == std::string::npos || stop > end) break;
            } else {
                stop = v;
                while (stop < end && !IsSpace(lower[stop])) ++stop;
            }
            std::string address(TrimBlanks(DecodeReferences(std::string_view(html).substr(v, stop - v))));
            for (const char* scheme : {"http://", "https://", "ftp://"})
                if (StartsWithAsciiCaseless(address, scheme)) return address;
            return {};
        }
        return {};
    }
    return {};
}

void RecordDraggedImageOrigins() {
    static QPointer<DragWatcher> watcher;
    if (watcher || !QCoreApplication::instance()) return;
    watcher = new DragWatcher(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(watcher);
}

}  // namespace zx

#include "drag_origin.moc"
