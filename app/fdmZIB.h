#pragma once

// The data module: the picture lists shared by the windows. The tree draws
// its nodes from ilMorvoImagesNo, menus, tool bar and actions from ilGUIimages.

#include <QIcon>
#include <QList>
#include <QObject>

class TImageList {
 public:
  int Count() const { return static_cast<int>(FImages.size()); }
  // An index outside the list gives an empty icon.
  QIcon Icon(int Index) const;
  void Add(const QIcon& Icon) { FImages.append(Icon); }

 private:
  QList<QIcon> FImages;
};

class TdmZIB : public QObject {
  Q_OBJECT
 public:
  explicit TdmZIB(QObject* Parent = nullptr);
  ~TdmZIB() override;

  TImageList ilMorvoImagesNo;  // 56 pictures of object kinds; 24 for kinds without one
  TImageList ilGUIimages;      // 35 command pictures

  // Indexes into ilGUIimages.
  enum : int {
    giOpen = 0,
    giOpenTxt,
    giExport,
    giPackage,
    giExit,
    giFindGUID,
    giFindName,
    giFindProp,
    giFindAgain,
    giNextFilled,
    giCopyGUID,
    giCopyBare,
    giCopyName,
    giCopyPath,
    giSemantic,
    giFileOrder,
    giFilter1,  // five view pictures follow
    giConfig = giFilter1 + 5,
    giEMFPrint,
    giAbout,
    giExport1,  // five export pictures follow
    giReopen = giExport1 + 5,
    giGrid,
    giExpand,
    giWarning,
    giWait,
    giPage,
  };
};

extern TdmZIB* dmZIB;
