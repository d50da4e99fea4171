// The folder browser of the main window: the folder list "Directorios",
// the volume box "Unidades" tied to it, and the label that shows the list's
// current folder.
//
// The folder list shows the chain of folders from the root of the current
// folder's volume down to the current folder, each one step further in,
// followed by the current folder's subfolders (hidden ones left out). A
// single click or an arrow key chooses a folder: it is the one shown after
// "Ruta Actual:" and the one the direction buttons take as the DAE folder.
// A double click, or Enter on it, also opens it: the list is rebuilt around
// it, so that its subfolders show.
//
// The volume box lists the mounted volumes. Choosing one shows, in the
// folder list, the folder last current on that volume (its root the first
// time). Moving in the folder list to another volume selects it in the box.
#pragma once
#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QString>
#include <QTreeWidget>

namespace ui {

class FolderList : public QTreeWidget {
  Q_OBJECT

 public:
  explicit FolderList(QWidget* parent = nullptr);

  // The current folder: an absolute path with '/' separators, no trailing
  // separator except for the root itself.
  QString directory() const { return directory_; }
  // Makes path (or, when it does not exist, its nearest existing ancestor)
  // the current folder and rebuilds the list.
  void setDirectory(const QString& path);
  // The root of the volume that holds the current folder.
  QString volumeRoot() const { return volumeRoot_; }
  // The folder chosen in the list (clicked or reached with the arrows), or
  // the current folder when none other is: the DAE folder's source.
  QString chosenFolder() const { return chosen_.isEmpty() ? directory_ : chosen_; }

  // The folder an item stands for; empty for none.
  static QString folderOf(const QTreeWidgetItem* item);
  // The item of a folder in the list; nullptr when it is not listed.
  QTreeWidgetItem* itemOf(const QString& folder) const;
  // Opens the folder of an item: the user's double click or Enter.
  void openItem(QTreeWidgetItem* item);

 signals:
  void directoryChanged(const QString& path);
  // The chosen folder changed (also when a folder is opened).
  void folderChosen(const QString& path);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void rebuild();

  QString directory_;
  QString volumeRoot_;
  QString chosen_;
  bool rebuilding_ = false;
};

// The volume box, tied to a folder list.
class DriveBox : public QComboBox {
  Q_OBJECT

 public:
  // The list of volumes opens inside the window, never past its edges.
  void showPopup() override;
  DriveBox(FolderList* list, QWidget* parent = nullptr);

  // Re-reads the mounted volumes.
  void refreshVolumes();
  // The root of the volume chosen in the box.
  QString currentRoot() const;
  // Chooses a volume by its root, as the user would.
  void chooseRoot(const QString& root);

 private:
  void onActivated(int index);
  void onDirectoryChanged(const QString& path);
  void selectRoot(const QString& root);

  FolderList* list_;
  QHash<QString, QString> lastFolder_;  // volume root -> folder last shown
};

// A label that shows a path whole, or with its middle replaced by an
// ellipsis when it is wider than the label. The whole path is its tooltip.
class PathLabel : public QLabel {
  Q_OBJECT

 public:
  explicit PathLabel(QWidget* parent = nullptr);
  void setPath(const QString& path);
  QString path() const { return path_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void updateShown();
  QString path_;
};

// The root of the mounted volume that holds path ("/" when none is known).
QString VolumeRootOf(const QString& path);

}  // namespace ui
