// Shows the wait cursor for the whole program while it lives; the normal
// cursor comes back also when an exception leaves the scope.
#pragma once

#include <QApplication>
#include <QCursor>

namespace trawlix {

class TWaitCursor {
 public:
  TWaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

}  // namespace trawlix
