#include "ui/filt_dialog.h"

#include "filter/fe_list.h"

namespace {

// Until the dialog has its window, the element list is all there is; with no row to select, an
// edited element is appended.
class FiltDialogWithoutWindow : public FiltDialog {
  public:
    void Show() override {}
    void GetXY(int& x, int& y) override { x = y = -1; }
    void AddFE(std::unique_ptr<FilterElement> element) override { list.Add(std::move(element)); }
    void ReplaceFE(std::unique_ptr<FilterElement> element) override {
        list.Add(std::move(element));
    }
    std::unique_ptr<FilterElement> FindFE(std::string name) override { return list.Find(name); }

  private:
    FeList list;
};

}  // namespace

std::unique_ptr<FiltDialog> CreateFiltDialog() {
    return std::make_unique<FiltDialogWithoutWindow>();
}
