#pragma once
// Finds a window's control by its objectName, as a user's eye finds it by place:
// the windows keep their controls to themselves.
#include <QObject>
#include <QtTest>

template <class T>
T* child(const QObject* window, const char* name) {
  T* w = window ? window->findChild<T*>(QLatin1String(name)) : nullptr;
  if (!w) qFatal("no control %s", name);
  return w;
}
