#pragma once
// A bar with its popup and about window, on the fake platform and the
// headless engine, for tests of the bar's logic.
#include <memory>
#include <utility>

#include "about/form2.h"
#include "bar/form1.h"
#include "base/cell_document.h"
#include "base/text.h"
#include "htmlview/embedded_wb.h"
#include "popup/popup_form.h"
#include "support/fake_platform.h"
#include "support/headless_engine.h"

namespace zx::test {

class BarFixture {
public:
    explicit BarFixture(int screenWidth = 1024) {
        fake->screenWidth = screenWidth;
        form1 = std::make_unique<TForm1>();
        form1->Timer1->stop();  // tests drive the tick themselves
        popup = std::make_unique<TfrmPopupForm>();
        popup->SetCells(&form1->Cells);
        form1->SetPopup(popup.get());
        about = std::make_unique<TForm2>();
        form1->SetAbout(about.get());
    }

    TEmbeddedWB& cell(int i) { return *form1->Cells.at(static_cast<size_t>(i)); }
    HeadlessEngine& engine(TEmbeddedWB& view) { return static_cast<HeadlessEngine&>(view.Engine()); }

    // Puts `text` into cell i past the bar's drop handler, which would veto
    // the view's first "about:blank".
    void put(int i, const std::string& text) {
        auto handler = std::exchange(cell(i).OnBeforeNavigate2, nullptr);
        cell(i).HTMLCode().SetText(text);
        cell(i).OnBeforeNavigate2 = std::move(handler);
    }
    // Puts the image page of `address` into cell i.
    void fill(int i, const std::string& address) { put(i, JoinLinesCRLF(MakeImagePage(CellPageTemplate(), address))); }

    ScopedFakePlatform fake;
    ScopedHeadlessEngine headless;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TfrmPopupForm> popup;
    std::unique_ptr<TForm2> about;
};

}  // namespace zx::test
