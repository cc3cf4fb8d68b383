#include "lumarc/window/icons.h"

#include "lumarc/texts/texts.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

namespace lumarc::ui {

QIcon linkStateIcon(int icon) {
  QColor c = icon == 1 ? QColor(40, 170, 60) : icon == 3 ? QColor(230, 170, 20) : QColor(200, 50, 40);
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(c.darker(140));
  p.setBrush(c);
  p.drawEllipse(2, 2, 12, 12);
  return QIcon(pm);
}

QIcon commandIcon(int command) {
  QStyle* s = QApplication::style();
  switch (command) {
    case kCmdUsers: return s->standardIcon(QStyle::SP_DirHomeIcon);
    case kCmdDigits:
    case kCmdClip: return s->standardIcon(QStyle::SP_FileDialogDetailedView);
    case kCmdCorvane: return s->standardIcon(QStyle::SP_DriveNetIcon);
    case kCmdCmdr: return s->standardIcon(QStyle::SP_FileDialogListView);
    case kCmdVoice: return s->standardIcon(QStyle::SP_MediaVolume);
    case kCmdCloseView: return s->standardIcon(QStyle::SP_DialogCloseButton);
    case kCmdSettings: return s->standardIcon(QStyle::SP_FileDialogContentsView);
    case kCmdAbout: return s->standardIcon(QStyle::SP_MessageBoxInformation);
    case kCmdBack: return s->standardIcon(QStyle::SP_ArrowBack);
    case kCmdHome: return s->standardIcon(QStyle::SP_DirHomeIcon);
    case kCmdScan: return s->standardIcon(QStyle::SP_BrowserReload);
    case kCmdDatabase: return s->standardIcon(QStyle::SP_DriveHDIcon);
    case kCmdSelect: return s->standardIcon(QStyle::SP_FileDialogInfoView);
    case kCmdAdd: return s->standardIcon(QStyle::SP_FileIcon);
    case kCmdEdit: return s->standardIcon(QStyle::SP_FileDialogContentsView);
    case kCmdDelete:
    case kCmdTrash: return s->standardIcon(QStyle::SP_TrashIcon);
    case kCmdSaveTemplate:
    case kCmdSave: return s->standardIcon(QStyle::SP_DialogSaveButton);
    case kCmdList: return s->standardIcon(QStyle::SP_FileDialogListView);
    case kCmdMail: return s->standardIcon(QStyle::SP_DialogYesButton);
    case kCmdChart: return s->standardIcon(QStyle::SP_ComputerIcon);
    case kCmdArchive: return s->standardIcon(QStyle::SP_DirIcon);
    case kCmdPlay: return s->standardIcon(QStyle::SP_MediaPlay);
    case kCmdCallTrace: return s->standardIcon(QStyle::SP_FileDialogDetailedView);
    case kCmdExpert:
    case kCmdEasy: return s->standardIcon(QStyle::SP_DesktopIcon);
    case kCmdWizard: return s->standardIcon(QStyle::SP_CommandLink);
    case kCmdSaveIp: return s->standardIcon(QStyle::SP_DialogApplyButton);
    case kCmdRecommendedIp: return s->standardIcon(QStyle::SP_DialogHelpButton);
    case kCmdUpload: return s->standardIcon(QStyle::SP_ArrowUp);
    case kCmdFactory: return s->standardIcon(QStyle::SP_DialogResetButton);
    case kCmdPageBack: return s->standardIcon(QStyle::SP_ArrowLeft);
    case kCmdPageForward: return s->standardIcon(QStyle::SP_ArrowRight);
    default: return {};
  }
}

}  // namespace lumarc::ui
