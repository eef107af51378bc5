#include "app/MainForm.h"

#include "app/ApplicationTitle.h"
#include "app/FailureDisplay.h"
#include "app/MapImage.h"
#include "app/OpenDialog.h"
#include "app/StatusField.h"
#include "app/WindowManagerHints.h"
#include "layout/OpenLayout.h"
#include "map/ClipboardQt.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cmath>

namespace lyremap {

namespace {

constexpr QPoint DesignedPlace(386, 106);

// The primary screen's density in device pixels per inch.
double screenDotsPerInch() {
    const QScreen* const screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() * screen->devicePixelRatio() : 96.0;
}

double devicePixelRatio() {
    const QScreen* const screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

// A length in device pixels as a length in the toolkit's logical pixels.
int logical(int devicePixels) {
    return int(std::lround(devicePixels / devicePixelRatio()));
}

QSize logical(QSize devicePixels) {
    return QSize(logical(devicePixels.width()), logical(devicePixels.height()));
}

} // namespace

TfmMain::TfmMain(MainFormServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
    if (!services_.beep)
        services_.beep = [] { QApplication::beep(); };
    if (!services_.clipboard)
        services_.clipboard = std::make_shared<ClipboardQt>();
    metrics_ =
        windowMetrics(services_.dotsPerInch > 0 ? services_.dotsPerInch : screenDotsPerInch());

    setObjectName(QStringLiteral("fmMain"));
    // The title bar offers the system menu, minimising and closing; without a maximise button
    // the window manager offers no maximising either, and the fixed size below no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(applicationTitle());
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(std::max(1, logical(metrics_.fontPixels)));
    font.setWeight(QFont::Normal);
    setFont(font);

    createStatusBar();
    createMapArea();
    createMenu();
    xmlDoc = new XmlDocumentComponent(this);
    xmlDoc->setObjectName(QStringLiteral("xmlDoc"));
    dlgOpen = new OpenDialog(this);

    // The area below the menu bar has the designed client size; the window keeps it.
    const QSize client = logical(metrics_.client);
    int menuHeight = mnuMainMenu->heightForWidth(client.width());
    if (menuHeight < 0)
        menuHeight = mnuMainMenu->sizeHint().height();
    setFixedSize(client.width(), menuHeight + client.height());
    move(DesignedPlace);
    offerOnlyMinimiseAndClose(*this);
}

TfmMain::~TfmMain() = default;

MapSurface& TfmMain::surface() {
    return imgMap->surface();
}

const QString& TfmMain::statusText() const {
    return statusField_->outcome();
}

void TfmMain::createStatusBar() {
    stbMain = new QStatusBar(this);
    stbMain->setObjectName(QStringLiteral("stbMain"));
    stbMain->setSizeGripEnabled(false);
    stbMain->setFixedHeight(logical(metrics_.statusHeight));
    // The system's status-bar font, whole: nothing of the window's own font shows through.
    QFont font = QApplication::font("QStatusBar");
    font.setResolveMask(QFont::AllPropertiesResolved);
    stbMain->setFont(font);
    statusField_ = new StatusField(stbMain);
    statusField_->setObjectName(QStringLiteral("stbMainText"));
    stbMain->addWidget(statusField_, 1);
    setStatusBar(stbMain);
}

void TfmMain::createMapArea() {
    pnlMain = new QFrame(this);
    pnlMain->setObjectName(QStringLiteral("pnlMain"));
    pnlMain->setFrameStyle(QFrame::NoFrame);
    auto* const layout = new QVBoxLayout(pnlMain);
    // Borders are in the toolkit's pixels, which it scales with the screen like the rest.
    const int border = metrics_.panelBorder;
    layout->setContentsMargins(border, border, border, border);
    layout->setSpacing(0);

    scbMain = new QScrollArea(pnlMain);
    scbMain->setObjectName(QStringLiteral("scbMain"));
    // A Windows panel frame is a sunken edge exactly two pixels wide.
    scbMain->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    scbMain->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scbMain->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QPalette white = scbMain->viewport()->palette();
    white.setColor(QPalette::Window, Qt::white);
    scbMain->viewport()->setPalette(white);
    scbMain->viewport()->setBackgroundRole(QPalette::Window);
    scbMain->viewport()->setAutoFillBackground(true);
    layout->addWidget(scbMain);

    // The raster has the image's size in screen pixels, so every raster pixel is one screen
    // pixel. The image's place, the scroll box's top-left corner, is the same at any density.
    imgMap = new MapImage(metrics_.image.size(), scbMain);
    imgMap->setObjectName(QStringLiteral("imgMap"));
    imgMap->setFixedSize(logical(metrics_.image.size()));
    scbMain->setWidget(imgMap);
    // setWidget asks the image to fill its background; it must let the white box show instead.
    imgMap->setAutoFillBackground(false);

    setCentralWidget(pnlMain);
}

void TfmMain::createMenu() {
    mnuMainMenu = new QMenuBar(this);
    mnuMainMenu->setObjectName(QStringLiteral("mnuMainMenu"));
    // Kept inside the window on every desktop, so the client area below it holds.
    mnuMainMenu->setNativeMenuBar(false);

    // The text after the tab is shown in place of the shortcut's own name, so the menu shows
    // the German key names while the action answers the real key.
    const auto item = [this](QMenu* menu, const char* name, const QString& text,
                             const QKeySequence& shortcut, void (TfmMain::*handler)()) {
        auto* const action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this,
                [this, handler] { runGuarded([this, handler] { (this->*handler)(); }); });
        menu->addAction(action);
        addAction(action);
        return action;
    };

    mnuFile = mnuMainMenu->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mniFile_Open = item(mnuFile, "mniFile_Open", QStringLiteral("&Open...\tStrg+O"),
                        QKeySequence(Qt::CTRL | Qt::Key_O), &TfmMain::mniFile_OpenClick);
    mniFile_Exit = item(mnuFile, "mniFile_Exit", QStringLiteral("E&xit"), QKeySequence(),
                        &TfmMain::mniFile_ExitClick);
    mnuEdit = mnuMainMenu->addMenu(QStringLiteral("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    mniEdit_Copy = item(mnuEdit, "mniEdit_Copy", QStringLiteral("Copy\tStrg+C"),
                        QKeySequence(Qt::CTRL | Qt::Key_C), &TfmMain::mniEdit_CopyClick);
    setMenuBar(mnuMainMenu);
}

void TfmMain::mniFile_OpenClick() {
    const QString name = dlgOpen->choose();
    if (name.isEmpty())
        return;

    MapTarget& target = drawingTarget_ ? *drawingTarget_ : static_cast<MapTarget&>(surface());
    const OpenOutcome outcome = OpenLayout(xmlDoc->document, target, name);
    if (!outcome.loaded)
        services_.beep();
    statusField_->setOutcome(outcome.statusText, fullPathName(name));
}

void TfmMain::mniFile_ExitClick() {
    close();
}

void TfmMain::mniEdit_CopyClick() {
    copyMapToClipboard(surface(), *services_.clipboard);
}

} // namespace lyremap
