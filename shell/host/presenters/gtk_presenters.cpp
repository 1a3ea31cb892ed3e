#include "shell/host/presenters/gtk_presenters.h"

namespace nb::shell {

void InstallGtkPresenters() { NbSetMessageBoxPresenter(ShowGtkMessageBox); }

}  // namespace nb::shell
