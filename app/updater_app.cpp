#include "app/updater_app.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>
#include <utility>

#include "app/updater_dialog.h"
#include "firmware/embedded_images.h"
#include "session/instance_refusal.h"

namespace tarn {

CT2vVazidavApp::CT2vVazidavApp()
    : CT2vVazidavApp([](InstanceClaim& claim) { return ClaimInstanceNumber(claim); }) {}

CT2vVazidavApp::CT2vVazidavApp(ClaimFunction claim) : m_claim(std::move(claim)) {}

void CT2vVazidavApp::InitInstance() {
  const int32_t claimed = m_claim(m_instance);
  if (claimed <= 0) {
    // No owner window; captioned with the application's name, the executable's own name.
    QMessageBox refusal(QMessageBox::Warning, QCoreApplication::applicationName(),
                        QString::fromLocal8Bit(InstanceRefusalText(claimed, m_instance.problem())),
                        QMessageBox::Ok);
    refusal.exec();
    return;
  }
  InstanceNumber = claimed;
  CT2vVazidavDlg dialog(InstanceNumber, m_images ? *m_images : EmbeddedImages());
  dialog.exec();
}

}  // namespace tarn
