// What the frame's windows share: window handles as widgets, the program's icon, and the rule
// that widgets live on the user interface thread only. A worker that needs one (an error box, its
// progress window) hands the call over and, where it must wait, waits for the answer.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPixmap>
#include <QThread>
#include <QWidget>
#include <type_traits>
#include <utility>

#include "platform/core/win32.h"

// A window handle of the programs is the widget of that window.
inline QWidget* WidgetOf(HWND window) { return static_cast<QWidget*>(window); }
inline HWND HandleOf(QWidget* widget) { return static_cast<HWND>(widget); }

// Icon 108 of the running program (a plain pixmap when none was set).
QPixmap ProgramIcon();

// A control found by its id, which every control carries as its object name.
template <typename T>
T* Control(QWidget* dialog, int id) {
  return dialog->findChild<T*>(QString::number(id));
}
template <typename T>
void SetId(T* control, int id) {
  control->setObjectName(QString::number(id));
}

inline bool OnUiThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

// Runs `call` on the user interface thread and returns its result; from that thread, directly.
template <typename F>
auto CallOnUiThread(F&& call) -> std::invoke_result_t<F> {
  if (OnUiThread()) return call();
  if constexpr (std::is_void_v<std::invoke_result_t<F>>) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(call), Qt::BlockingQueuedConnection);
  } else {
    std::invoke_result_t<F> result{};
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { result = call(); }, Qt::BlockingQueuedConnection);
    return result;
  }
}

// Queues `call` for the user interface thread without waiting (for `context`'s lifetime only).
template <typename F>
void PostToUiThread(QObject* context, F&& call) {
  QMetaObject::invokeMethod(context, std::forward<F>(call), Qt::QueuedConnection);
}
