#include "app/windows.hpp"

#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTranslator>
#include <cmath>

namespace app {

namespace {

QLabel* label(QWidget* parent, const QString& text, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

void whiteBackground(QWidget& w) {
    w.setAutoFillBackground(true);
    QPalette p = w.palette();
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::WindowText, Qt::black);
    w.setPalette(p);
}

constexpr const char* kTerms =
    "Kernavisto строит продольные профили подземных трубопроводов по плану в чертеже DXF.\n\n"
    "Программа предоставляется «как есть». Проверяйте построенный профиль перед выпуском "
    "документации: ответственность за проектные решения несёт проектировщик.\n\n"
    "Программа сохраняет чертёж без потерь: перед записью прежний файл остаётся рядом с "
    "расширением .bak.\n\n"
    "Разрешается свободно использовать и распространять программу в неизменном виде.";

}  // namespace

void centreOnScreen(QWidget& window) {
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect s = screen->geometry();
    const QSize size = window.frameGeometry().size().isValid() && window.isVisible()
                           ? window.frameGeometry().size()
                           : window.size();
    const int left = static_cast<int>(std::lround((s.width() - size.width()) / 2.0));
    const int top = static_cast<int>(std::lround((s.height() - size.height()) / 2.0));
    window.move(s.left() + left, s.top() + top);
}

SplashWindow::SplashWindow(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("TForm6"));
    setFixedSize(505, 153);
    whiteBackground(*this);
    setWindowOpacity(150.0 / 255.0);

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    frame->setGeometry(2, 2, 501, 149);

    QFont big(QStringLiteral("Times New Roman"));
    big.setBold(true);
    big.setPixelSize(96);
    label(frame, QStringLiteral("Kernavisto"), 10, 12)->setFont(big);
    QFont small(QStringLiteral("Times New Roman"));
    small.setBold(true);
    small.setPixelSize(16);
    QLabel* loading = label(frame, QStringLiteral("Загрузка чертёжного движка"), 16, 118);
    loading->setFont(small);
    for (QLabel* l : frame->findChildren<QLabel*>()) l->adjustSize();
    centreOnScreen(*this);
}

AboutWindow::AboutWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TForm5"));
    setWindowTitle(QStringLiteral("О программе"));
    setModal(true);
    setFixedSize(540, 300);
    whiteBackground(*this);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setGeometry(0, 0, 150, 300);
    picture->setPixmap(QIcon(QStringLiteral(":/icons/about.svg")).pixmap(150, 300));

    auto* terms = new QPlainTextEdit(QString::fromUtf8(kTerms), this);
    terms->setObjectName(QStringLiteral("Memo1"));
    terms->setReadOnly(true);
    terms->setFrameShape(QFrame::NoFrame);
    terms->setGeometry(152, 0, 388, 257);

    label(this, QStringLiteral("Сайт"), 152, 264)->setObjectName(QStringLiteral("Label1"));
    label(this, QStringLiteral("Почта"), 152, 280)->setObjectName(QStringLiteral("Label2"));
    const QString site = QStringLiteral("https://kernavisto.example/");
    const QString mail = QStringLiteral("info@kernavisto.example");
    QLabel* siteLink = label(
        this, QStringLiteral("<a style=\"color:blue\" href=\"%1\">%1</a>").arg(site), 192, 264);
    QLabel* mailLink =
        label(this, QStringLiteral("<a style=\"color:blue\" href=\"mailto:%1\">%1</a>").arg(mail),
              192, 280);
    for (QLabel* link : {siteLink, mailLink}) {
        link->setOpenExternalLinks(true);
        link->setCursor(Qt::PointingHandCursor);
    }
    siteLink->setObjectName(QStringLiteral("Label3"));
    mailLink->setObjectName(QStringLiteral("Label4"));

    auto* ok = new QPushButton(QStringLiteral("ОК"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setGeometry(424, 264, 111, 30);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

bool installRussianQtTexts(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    if (!translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

}  // namespace app
