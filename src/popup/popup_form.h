#pragma once
// TfrmPopupForm: the preview under the bar. Three views show the hovered
// cell's page at growing sizes, a fourth the image at natural size, and a
// read-only memo its address, which the context menu copies.
#include <QWidget>
#include <array>

namespace zx {

class TEmbeddedWB;

class TfrmPopupForm : public QWidget {
public:
    TfrmPopupForm();

    // The bar's cells, which FillActualView reads.
    void SetCells(const std::array<TEmbeddedWB*, 20>* cells) { cells_ = cells; }

    TEmbeddedWB* wb1 = nullptr;
    TEmbeddedWB* wb2 = nullptr;
    TEmbeddedWB* wb3 = nullptr;
    TEmbeddedWB* wb = nullptr;

    void FillActualView(int i);

private:
    const std::array<TEmbeddedWB*, 20>* cells_ = nullptr;
};

}  // namespace zx
