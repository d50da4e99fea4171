// Shared pieces of the grid and window tests: real tables in a temporary
// folder, reading them back through a separate table object, and typing
// into whatever widget has the focus (a cell editor once one is open).
#pragma once
#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <filesystem>
#include <string>
#include <vector>

#include "store/table.h"
#include "tests/ui/modal_answerer.h"

namespace gridtest {

// Creates a table with the given fields and tags and appends the rows.
inline void MakeTable(const std::filesystem::path& folder,
                      const std::string& name, const store::FieldDefs& fields,
                      const store::IndexDefs& tags,
                      const std::vector<std::vector<store::Value>>& rows) {
  store::Table t;
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  t.FieldDefsList() = fields;
  t.IndexDefsList() = tags;
  t.CreateTable();
  t.Open();
  for (const auto& row : rows) t.AppendValues(row);
  t.Close();
}

// Every record of a table in physical order, each field as AsString gives
// it, read through an object of its own.
inline std::vector<std::vector<std::string>> ReadBack(
    const std::filesystem::path& folder, const std::string& name,
    const std::string& index = "") {
  store::Table t;
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  t.SetIndexName(index);
  t.SetReadOnly(true);
  t.Open();
  std::vector<std::vector<std::string>> out;
  for (t.First(); !t.Eof(); t.Next()) {
    std::vector<std::string> row;
    for (const store::FieldDef& f : t.Fields())
      row.push_back(t.FieldByName(f.name).AsString());
    out.push_back(row);
  }
  t.Close();
  return out;
}

inline void Settle() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// Types text into the focus widget, a character at a time, so that the
// keys after the first reach a cell editor that the first one opened.
inline void Type(const QString& text) {
  for (QChar c : text) {
    QWidget* w = QApplication::focusWidget();
    if (!w) {
      ADD_FAILURE() << "no widget has the focus for typing";
      return;
    }
    if (c.unicode() < 128) {
      QTest::keyClick(w, c.toLatin1());
    } else {  // letters beyond ASCII: a key event carrying the text
      const int key = c.toUpper().unicode();
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
      QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
      QApplication::sendEvent(w, &press);
      QApplication::sendEvent(w, &release);
    }
  }
  Settle();
}

// Waits until the window is active again (after a modal box closed).
inline bool Reactivate(QWidget* window) {
  window->activateWindow();
  return QTest::qWaitForWindowActive(window);
}

inline void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* w = QApplication::focusWidget();
  if (!w) {
    ADD_FAILURE() << "no widget has the focus for key " << key;
    return;
  }
  QTest::keyClick(w, key, mods);
  Settle();
}

inline bool ShowAndActivate(QWidget* w) {
  w->show();
  w->activateWindow();
  return QTest::qWaitForWindowActive(w);
}

}  // namespace gridtest
