#include "viewer/frame/CChildFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QMdiArea>
#include <QToolBar>
#include <QVBoxLayout>

#include "viewer/core/Commands.h"
#include "viewer/core/Host.h"
#include "viewer/doc/COrvennaDoc.h"
#include "viewer/frame/Icons.h"
#include "viewer/frame/Menus.h"
#include "viewer/view/COrvennaView.h"

namespace orvenna {

CChildFrame::CChildFrame(std::unique_ptr<COrvennaDoc> doc, IViewerHost* host) : doc_(std::move(doc)), host_(host) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowIcon(ProgramIcon());
  body_ = new QWidget(this);
  auto* layout = new QVBoxLayout(body_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  view_ = new COrvennaView(doc_.get(), host_, body_);
  layout->addWidget(view_, 1);
  setWidget(body_);
  setWindowTitle(QString::fromStdString(doc_->GetTitle()));
  connect(doc_.get(), &COrvennaDoc::TitleChanged, this, [this](const QString& title) { setWindowTitle(title); });
  connect(doc_.get(), &COrvennaDoc::PageBarWanted, this, [this] { MakePageBar(); });
  connect(doc_.get(), &COrvennaDoc::ViewsChanged, this, [this] { UpdatePageBar(); });
}

CChildFrame::~CChildFrame() {
  // The view draws the document: it goes first.
  delete body_;
}

QAction* CChildFrame::PageAction(int id) const {
  if (!pageBar_) return nullptr;
  for (QAction* action : pageBar_->actions())
    if (action->data().toInt() == id) return action;
  return nullptr;
}

void CChildFrame::MakePageBar() {
  if (pageBar_) return;
  pageBar_ = new QToolBar(body_);
  pageBar_->setObjectName(QStringLiteral("pageBar"));
  pageBar_->setIconSize(QSize(16, 16));
  for (int id : {ID_PAGE_FIRST, ID_PAGE_PREV, ID_PAGE_NEXT, ID_PAGE_LAST}) {
    QAction* action = pageBar_->addAction(CommandIcon(id), CommandText(id));
    action->setData(id);
    action->setToolTip(CommandText(id));
    connect(action, &QAction::triggered, this, [this, id] {
      // The page commands work on the active window: this one, once clicked.
      if (QMdiArea* area = mdiArea()) area->setActiveSubWindow(this);
      host_->Commands().Execute(id);
      UpdatePageBar();
    });
  }
  static_cast<QVBoxLayout*>(body_->layout())->addWidget(pageBar_);
  UpdatePageBar();
  if (initialised_) view_->FitToPageBar(this, pageBar_->sizeHint());
}

void CChildFrame::UpdatePageBar() {
  if (!pageBar_) return;
  const int page = doc_->m_nPage;
  const int count = doc_->m_imgCurrent.GetPageCount();
  const bool back = page > 0, forward = page < count - 1;
  PageAction(ID_PAGE_FIRST)->setEnabled(back);
  PageAction(ID_PAGE_PREV)->setEnabled(back);
  PageAction(ID_PAGE_NEXT)->setEnabled(forward);
  PageAction(ID_PAGE_LAST)->setEnabled(forward);
}

void CChildFrame::InitialUpdate(const QSize& workArea) {
  if (initialised_) return;
  initialised_ = true;
  // The view measures the window's frame against its own size: lay both out first.
  if (layout()) layout()->activate();
  if (body_->layout()) body_->layout()->activate();
  view_->OnInitialUpdate(this, workArea);
  if (pageBar_) view_->FitToPageBar(this, pageBar_->sizeHint());
}

void CChildFrame::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    if (!doc_->SaveModified()) {
      event->ignore();
      return;
    }
    doc_->OnCloseDocument();
    closed_ = true;
  }
  QMdiSubWindow::closeEvent(event);
}

}  // namespace orvenna
