#include "framework/view.h"

#include "framework/document.h"

namespace tfw {

CView::~CView() {
    if (document_ != nullptr) document_->RemoveView(this);
}

}  // namespace tfw
