// Driving the real windows from a test: acting on the modal window that a click is about to
// open, pressing controls by their ids, and keeping a screenshot of each window.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "frame/widgets.h"

// Runs `act` on the next modal window that opens above the present one (and that `wanted`
// accepts), from the loop of that window; fails the test if none opens within five seconds.
inline void WhenModal(std::function<void(QWidget*)> act, std::function<bool(QWidget*)> wanted = {}) {
  QWidget* present = QApplication::activeModalWidget();
  auto* timer = new QTimer(qApp);
  auto tries = std::make_shared<int>(1000);
  QObject::connect(timer, &QTimer::timeout, qApp, [=] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool found = modal && modal != present && modal->isVisible() && (!wanted || wanted(modal));
    if (!found && --*tries > 0) return;
    timer->stop();
    timer->deleteLater();
    found ? act(modal) : void(ADD_FAILURE() << "no window opened");
  });
  timer->start(5);
}

// Clicks the button with the given id, near its left edge: a radio button or check box answers
// only on its mark and label, which a layout's wide cell does not fill.
inline void Press(QWidget* window, int id) {
  auto* button = Control<QAbstractButton>(window, id);
  ASSERT_NE(button, nullptr) << "no control " << id;
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

// A message box's caption and text, then OK.
struct SeenBox {
  std::string caption;
  std::string text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};
inline void WhenBox(SeenBox& seen, std::function<void()> then = {}) {
  WhenModal(
      [&seen, then](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        seen = {box->windowTitle().toStdString(), box->text().toStdString(), box->icon()};
        if (then) then();
        box->accept();
      },
      [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; });
}

// <build>/screenshots/<name>.png, for a person to look at.
inline void KeepScreenshot(QWidget* window, const char* name) {
  QDir().mkpath(TALLYARD_BINARY_DIR "/screenshots");
  EXPECT_TRUE(window->grab().save(QString(TALLYARD_BINARY_DIR "/screenshots/") + name + ".png")) << name;
}
