#include "ui/folder_browser.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QAbstractItemView>
#include <QStorageInfo>
#include <QStyle>
#include <algorithm>

namespace ui {

namespace {

constexpr int kFolderRole = Qt::UserRole;

QString JoinPath(const QString& folder, const QString& name) {
  return folder.endsWith(QLatin1Char('/')) ? folder + name
                                           : folder + QLatin1Char('/') + name;
}

// True when path is root itself or lies under it. A root may end with its
// separator ("/", "D:/") or not (a mount point "/media/usb"); Windows
// compares names without regard to case.
bool IsUnder(const QString& path, const QString& root) {
#ifdef Q_OS_WIN
  const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
  const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
  if (root.endsWith(QLatin1Char('/')))
    return path.startsWith(root, cs) || path.compare(root.chopped(1), cs) == 0;
  return path.compare(root, cs) == 0 || path.startsWith(root + QLatin1Char('/'), cs);
}

// The nearest existing folder at or above path (absolute, cleaned).
QString NearestFolder(const QString& path) {
  QString p = QDir::cleanPath(QDir::isAbsolutePath(path) ? path
                                                         : QDir::current().absoluteFilePath(path));
  while (!QFileInfo(p).isDir()) {
    const QString up = QFileInfo(p).path();
    if (up == p || up.isEmpty()) return QDir::rootPath();
    p = up;
  }
  return p;
}

}  // namespace

QString VolumeRootOf(const QString& path) {
  QStorageInfo info(path);
  QString root = info.isValid() ? QDir::cleanPath(info.rootPath()) : QString();
  if (root.isEmpty() || !IsUnder(path, root)) return QDir::rootPath();
  return root;
}

// ---------------------------------------------------------------- FolderList

FolderList::FolderList(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(1);
  header()->hide();
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setExpandsOnDoubleClick(false);
  setIndentation(12);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformRowHeights(true);
  // Every listed folder is always open: no expand/collapse marks.
  setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
  // The list is rebuilt once the view has finished with the mouse event:
  // rebuilding inside it would leave the view mid-gesture.
  connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    const QString folder = folderOf(item);
    if (folder.isEmpty()) return;
    QMetaObject::invokeMethod(
        this, [this, folder] { setDirectory(folder); }, Qt::QueuedConnection);
  });
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (rebuilding_) return;
    const QString folder = folderOf(item);
    if (folder.isEmpty() || folder == chosen_) return;
    chosen_ = folder;
    emit folderChosen(chosen_);
  });
}

QString FolderList::folderOf(const QTreeWidgetItem* item) {
  return item ? item->data(0, kFolderRole).toString() : QString();
}

QTreeWidgetItem* FolderList::itemOf(const QString& folder) const {
  QTreeWidgetItemIterator it(const_cast<FolderList*>(this));
  for (; *it; ++it)
    if (folderOf(*it) == folder) return *it;
  return nullptr;
}

void FolderList::setDirectory(const QString& path) {
  const QString folder = NearestFolder(path);
  const bool changed = folder != directory_;
  directory_ = folder;
  volumeRoot_ = VolumeRootOf(folder);
  rebuilding_ = true;
  rebuild();
  rebuilding_ = false;
  if (changed) emit directoryChanged(directory_);
  if (chosen_ != directory_) {
    chosen_ = directory_;
    emit folderChosen(chosen_);
  }
}

void FolderList::openItem(QTreeWidgetItem* item) {
  const QString folder = folderOf(item);
  if (folder.isEmpty()) return;
  setDirectory(folder);
}

void FolderList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    openItem(currentItem());
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void FolderList::rebuild() {
  clear();
  const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

  auto* item = new QTreeWidgetItem(this);
  item->setText(0, QDir::toNativeSeparators(volumeRoot_));
  item->setData(0, kFolderRole, volumeRoot_);
  item->setToolTip(0, QDir::toNativeSeparators(volumeRoot_));
  item->setIcon(0, openIcon);

  QString folder = volumeRoot_;
  const QString rest = directory_.mid(volumeRoot_.size());
  for (const QString& part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    folder = JoinPath(folder, part);
    auto* child = new QTreeWidgetItem(item);
    child->setText(0, part);
    child->setData(0, kFolderRole, folder);
    child->setToolTip(0, QDir::toNativeSeparators(folder));
    child->setIcon(0, openIcon);
    item = child;
  }
  QTreeWidgetItem* current = item;

  const QStringList subfolders = QDir(directory_).entryList(
      QDir::Dirs | QDir::NoDotAndDotDot,
      QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
  for (const QString& name : subfolders) {
    auto* child = new QTreeWidgetItem(current);
    child->setText(0, name);
    child->setData(0, kFolderRole, JoinPath(directory_, name));
    child->setToolTip(0, QDir::toNativeSeparators(JoinPath(directory_, name)));
    child->setIcon(0, closedIcon);
  }
  expandAll();
  setCurrentItem(current);
  scrollToItem(current);
}

// ------------------------------------------------------------------ DriveBox

DriveBox::DriveBox(FolderList* list, QWidget* parent)
    : QComboBox(parent), list_(list) {
  setEditable(false);
  refreshVolumes();
  connect(this, &QComboBox::activated, this, &DriveBox::onActivated);
  connect(list_, &FolderList::directoryChanged, this, &DriveBox::onDirectoryChanged);
  if (!list_->directory().isEmpty()) onDirectoryChanged(list_->directory());
}

void DriveBox::refreshVolumes() {
  QStringList roots;
  QHash<QString, QString> names;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    const QString root = QDir::cleanPath(volume.rootPath());
    if (!QFileInfo(root).isDir()) continue;  // a single file mounted in place
    if (roots.contains(root)) continue;
    roots << root;
    const QString name = volume.displayName();
    names[root] = name != volume.rootPath() ? name : QString();
  }
  const QString current = list_->volumeRoot();
  if (!current.isEmpty() && !roots.contains(current)) roots << current;
  if (!roots.contains(QDir::rootPath())) roots << QDir::rootPath();
  std::sort(roots.begin(), roots.end());

  const QSignalBlocker block(this);
  clear();
  for (const QString& root : roots) {
    QString text = QDir::toNativeSeparators(root);
    if (!names.value(root).isEmpty()) text += QStringLiteral("  [%1]").arg(names.value(root));
    addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), text, root);
    setItemData(count() - 1, text, Qt::ToolTipRole);
  }
  if (!current.isEmpty()) selectRoot(current);
}

void DriveBox::showPopup() {
  QComboBox::showPopup();
  QWidget* popup = view() ? view()->window() : nullptr;
  if (!popup || popup == window()) return;
  const QRect area(window()->mapToGlobal(QPoint(0, 0)), window()->size());
  QRect r = popup->geometry();
  if (r.width() > area.width()) r.setWidth(area.width());
  if (r.right() > area.right()) r.moveRight(area.right());
  if (r.left() < area.left()) r.moveLeft(area.left());
  if (r.height() > area.height()) r.setHeight(area.height());
  if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
  if (r.top() < area.top()) r.moveTop(area.top());
  popup->setGeometry(r);
}

QString DriveBox::currentRoot() const { return currentData().toString(); }

void DriveBox::chooseRoot(const QString& root) {
  const int index = findData(QDir::cleanPath(root));
  if (index < 0) return;
  setCurrentIndex(index);
  onActivated(index);
}

void DriveBox::onActivated(int index) {
  const QString root = itemData(index).toString();
  if (root.isEmpty()) return;
  QString folder = lastFolder_.value(root, root);
  if (!QFileInfo(folder).isDir()) folder = root;
  list_->setDirectory(folder);
  // The volume may have vanished: the list then shows another volume.
  selectRoot(list_->volumeRoot());
}

void DriveBox::onDirectoryChanged(const QString& path) {
  const QString root = VolumeRootOf(path);
  lastFolder_[root] = path;
  if (findData(root) < 0) refreshVolumes();
  selectRoot(root);
}

void DriveBox::selectRoot(const QString& root) {
  const int index = findData(root);
  if (index < 0) return;
  const QSignalBlocker block(this);
  setCurrentIndex(index);
}

// ----------------------------------------------------------------- PathLabel

PathLabel::PathLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
}

void PathLabel::setPath(const QString& path) {
  path_ = path;
  setToolTip(QDir::toNativeSeparators(path));
  updateShown();
}

void PathLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  updateShown();
}

void PathLabel::updateShown() {
  const QString full = QDir::toNativeSeparators(path_);
  const int room = contentsRect().width();
  setText(room > 0 ? fontMetrics().elidedText(full, Qt::ElideMiddle, room) : full);
}

}  // namespace ui
