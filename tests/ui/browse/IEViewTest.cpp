#include "engine/messages/SpiderOutputMsgTypes.h"
#include "tests/common/TempFolder.h"
#include "tests/ui/UITestEnvironment.h"
#include "ui/browse/IEView.h"
#include "ui/main/Main.h"
#include "ui/main/SpiderOutputSplitter.h"
#include "ui/common/TryShellExe.h"
#include "ui/common/UISettings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QImage>
#include <QImageReader>
#include <QWebEnginePage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSlider>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWebEngineView>

#include <mutex>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

namespace {

void SaveImage(const std::string& path, int width, int height, const char* format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(QString::fromStdString(path), format));
}

void PressKey(QWidget* widget, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

bool WaitFor(TIEViewFrame& frame, int ms = 20000)
{
    QEventLoop loop;
    QObject::connect(&frame, &TIEViewFrame::DocumentComplete, &loop, &QEventLoop::quit);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    bool done = false;
    QObject::connect(&frame, &TIEViewFrame::DocumentComplete, &loop, [&] { done = true; });
    loop.exec();
    return done;
}

void SetSlideshowPreferences(int minWidth, int minHeight, bool shrink, bool showDownloaded)
{
    WriteSettingInteger("Slideshow", "MinSlideWidth", minWidth);
    WriteSettingInteger("Slideshow", "MinSlideHeight", minHeight);
    WriteSettingBool("Slideshow", "ShrinkLarge", shrink);
    WriteSettingBool("Slideshow", "ShowDownloadedImages", showDownloaded);
}

void SkipUnderAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the web engine's own deallocations trip the address sanitizer";
#endif
}

}  // namespace

TEST(BrowseRules, ImageExtensionsAndShrinking)
{
    EXPECT_TRUE(IsImageExtension("/a/b.JPG"));
    EXPECT_TRUE(IsImageExtension("x.jpeg"));
    EXPECT_TRUE(IsImageExtension("x.Png"));
    EXPECT_FALSE(IsImageExtension("/a.gif/b"));
    EXPECT_FALSE(IsImageExtension("x.tiff"));

    int w = 0, h = 0;
    ASSERT_TRUE(ShrunkImageSize(2000, 1000, 1040, 740, w, h));
    EXPECT_EQ(w, 1000);
    EXPECT_EQ(h, 500);
    ASSERT_TRUE(ShrunkImageSize(500, 2000, 1040, 740, w, h));  // height bound
    EXPECT_EQ(h, 700);
    EXPECT_EQ(w, 175);
    EXPECT_FALSE(ShrunkImageSize(1000, 700, 1040, 740, w, h));  // exactly the room: shown as it is
    EXPECT_FALSE(ShrunkImageSize(1000, 700, 30, 30, w, h));      // no room at all
}

TEST(BrowseRules, GeneratedPageNamesTheFileAsAnEscapedAddress)
{
    EXPECT_EQ(BuildImagePage("/p/a b\".jpg", 10, 20),
              "<HTML><BODY><DIV ALIGN=\"CENTER\"><IMG SRC=\"file:///p/a%20b%22.jpg\" WIDTH=\"10\" HEIGHT=\"20\">"
              "</DIV></BODY></HTML>");
}

TEST(BrowseRules, LocalPagesReachNothingOnTheNetwork)
{
    const QUrl remote("http://example.com/x.png");
    const QUrl page = QUrl::fromLocalFile("/site/index.htm");
    EXPECT_TRUE(IsBlockedViewerRequest(remote, false, page));  // a link, refresh or frame of a local page
    EXPECT_FALSE(IsBlockedViewerRequest(remote, true, page));  // an address typed in
    EXPECT_FALSE(IsBlockedViewerRequest(QUrl::fromLocalFile("/site/a.htm"), false, page));
    EXPECT_FALSE(IsBlockedViewerRequest(remote, false, QUrl("http://example.com/")));
    EXPECT_TRUE(IsBlockedViewerRequest(remote, false, QUrl("about:blank")));
    EXPECT_FALSE(IsBlockedViewerRequest(remote, false, QUrl()));
}

TEST(BrowseImages, SizesOfGoodBrokenAndHugeImages)
{
    TTempFolder temp;
    int h = 0, w = 0;
    SaveImage(temp / "a.jpg", 640, 80, "JPEG");
    ASSERT_TRUE(GetImageSize(temp / "a.jpg", h, w));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 80);
    SaveImage(temp / "b.BMP", 30, 20, "BMP");
    ASSERT_TRUE(GetImageSize(temp / "b.BMP", h, w));
    EXPECT_EQ(w, 30);
    EXPECT_EQ(h, 20);
    // A 3 x 2 GIF.
    const unsigned char gif[] = {'G', 'I', 'F', '8', '9', 'a', 3, 0, 2, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
                                 ',', 0, 0, 0, 0, 3, 0, 2, 0, 0, 2, 2, 0x44, 0x01, 0, ';'};
    WriteTextFile(temp / "c.gif", std::string(reinterpret_cast<const char*>(gif), sizeof gif));
    ASSERT_TRUE(GetImageSize(temp / "c.gif", h, w));
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);

    SaveImage(temp / "d.png", 30, 20, "PNG");
    EXPECT_FALSE(GetImageSize(temp / "d.png", h, w));  // only JPEG, GIF and BMP are measured
    std::filesystem::copy_file(temp / "d.png", temp / "png.jpg");
    EXPECT_FALSE(GetImageSize(temp / "png.jpg", h, w));
    WriteTextFile(temp / "junk.jpg", std::string(5000, '\x5a'));
    EXPECT_FALSE(GetImageSize(temp / "junk.jpg", h, w));
    EXPECT_FALSE(GetImageSize(temp / "missing.gif", h, w));
    EXPECT_FALSE(GetImageSize("http://example.com/a.jpg", h, w));

    // A BMP header that asks for 60000 x 60000 pixels with nothing behind it.
    std::string bmp(54, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, 60000);
    put32(22, 60000);
    bmp[26] = 1;
    bmp[28] = 24;
    WriteTextFile(temp / "huge.bmp", bmp);
    EXPECT_FALSE(GetImageSize(temp / "huge.bmp", h, w));
    // A GIF that claims 65535 x 65535.
    std::string bomb(reinterpret_cast<const char*>(gif), sizeof gif);
    bomb[6] = bomb[7] = bomb[8] = bomb[9] = '\xff';
    bomb[24] = bomb[25] = bomb[26] = bomb[27] = '\xff';
    WriteTextFile(temp / "bomb.gif", bomb);
    EXPECT_FALSE(GetImageSize(temp / "bomb.gif", h, w));
}

class BrowsePageTest : public ::testing::Test {
protected:
    void SetUp() override { SetSlideshowPreferences(0, 0, true, false); }
    void TearDown() override { splitter_.Close(); }

    void Init()
    {
        frame_ = std::make_unique<TIEViewFrame>();
        frame_->Initialize(&splitter_);
    }
    void Downloaded(const std::string& file)
    {
        msg_.FMsgType = OUTMSG_DOWNLOAD_ENDED;
        msg_.FDownload.FLocalFile = file;
        splitter_.Deliver(msg_, 1);
    }
    void Send(uint8_t type)
    {
        msg_.FMsgType = type;
        splitter_.Deliver(msg_, 1);
    }
    int Rows() const { return frame_->ImageFilenames()->topLevelItemCount(); }

    TTempFolder temp_;
    TSpiderOutputSplitterForm splitter_;
    TSpiderOutputMsg msg_;
    std::unique_ptr<TIEViewFrame> frame_;
};

TEST_F(BrowsePageTest, DownloadedImagesAreAddedWithinTheLimits)
{
    SetSlideshowPreferences(100, 100, true, true);
    Init();
    EXPECT_EQ(splitter_.ListenerCount(), 1);
    EXPECT_TRUE(frame_->SlideshowRunning());  // a stored "show downloaded images" starts the show
    SaveImage(temp_ / "wide.jpg", 640, 80, "JPEG");
    SaveImage(temp_ / "big.jpg", 200, 150, "JPEG");
    SaveImage(temp_ / "tiny.png", 10, 10, "PNG");
    WriteTextFile(temp_ / "page.htm", "<html></html>");
    WriteTextFile(temp_ / "broken.gif", "GIF89a");
    Downloaded(temp_ / "wide.jpg");    // too small in height
    Downloaded(temp_ / "big.jpg");
    Downloaded(temp_ / "tiny.png");    // a PNG is never measured
    Downloaded(temp_ / "page.htm");
    Downloaded(temp_ / "gone.jpg");
    Downloaded(temp_ / "broken.gif");  // its size cannot be read: never too small
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(frame_->RowPath(0), temp_ / "big.jpg");
    EXPECT_EQ(frame_->ImageFilenames()->topLevelItem(0)->text(0), "big.jpg");
    EXPECT_EQ(frame_->ImageFilenames()->topLevelItem(0)->text(1).toStdString(), temp_.Slash());
    EXPECT_EQ(frame_->RowPath(1), temp_ / "tiny.png");
    EXPECT_EQ(frame_->RowPath(2), temp_ / "broken.gif");

    frame_->ShowOnDownload()->setChecked(false);
    EXPECT_FALSE(ReadSettingBool("Slideshow", "ShowDownloadedImages", true));
    Downloaded(temp_ / "big.jpg");
    EXPECT_EQ(Rows(), 3);
}

TEST_F(BrowsePageTest, FolderLoadsStopAtTheCapAndDropsWaitForTheJob)
{
    Init();
    std::filesystem::create_directories(temp_ / "tree/sub");
    for (int i = 0; i < 4000; ++i)
        WriteTextFile(temp_ / ("tree/i" + std::to_string(i) + ".png"), "");
    for (int i = 0; i < 3000; ++i)
        WriteTextFile(temp_ / ("tree/sub/s" + std::to_string(i) + ".PNG"), "");
    WriteTextFile(temp_ / "tree/notes.txt", "");
    std::filesystem::create_directory_symlink(temp_ / "tree", temp_ / "tree/sub/loop");
    frame_->AddImagesFromFolder(temp_ / "tree");
    EXPECT_EQ(Rows(), kMaxSlideshowImages);
    frame_->ShowOnDownload()->setChecked(true);
    Downloaded(temp_ / "tree/i1.png");
    EXPECT_EQ(Rows(), kMaxSlideshowImages);
    frame_->ImageFilenames()->clear();

    WriteTextFile(temp_ / "d.png", "");
    Send(OUTMSG_JOB_STARTED);
    EXPECT_FALSE(frame_->AddFromFolderBtn()->isEnabled());
    frame_->AddDroppedFiles({QString::fromStdString(temp_ / "d.png")});
    EXPECT_EQ(Rows(), 0);
    Send(OUTMSG_JOB_ENDED);
    frame_->AddDroppedFiles({QString::fromStdString(temp_ / "d.png"), QString::fromStdString(temp_ / "tree/sub"),
                             QString::fromStdString(temp_ / "tree/notes.txt")});
    EXPECT_EQ(Rows(), 3001);  // the link back up the tree is not followed
}

TEST_F(BrowsePageTest, SlideshowNavigationAndKeys)
{
    Init();
    // Rows of files that do not exist: the selection moves, the viewer stays untouched.
    frame_->AddDroppedFiles({"/no/such/a.png", "/no/such/b.png", "/no/such/c.png"});
    ASSERT_EQ(Rows(), 3);
    QTreeWidget* list = frame_->ImageFilenames();
    frame_->NextSlide();
    EXPECT_EQ(frame_->SelectedRow(), 0);
    frame_->PreviousSlide();
    EXPECT_EQ(frame_->SelectedRow(), 2);  // wraps to the last
    frame_->StartBtnClick();
    PressKey(list, Qt::Key_Right);
    EXPECT_EQ(frame_->SelectedRow(), 0);  // wraps to the first, the show goes on
    EXPECT_TRUE(frame_->SlideshowRunning());
    PressKey(list, Qt::Key_Left);
    EXPECT_EQ(frame_->SelectedRow(), 2);
    EXPECT_FALSE(frame_->SlideshowRunning());
    EXPECT_TRUE(frame_->StartBtn()->isEnabled());
    EXPECT_FALSE(frame_->StopBtn()->isEnabled());
    PressKey(list, Qt::Key_Space);
    EXPECT_TRUE(frame_->SlideshowRunning());
    PressKey(list, Qt::Key_Space);
    EXPECT_FALSE(frame_->SlideshowRunning());
    EXPECT_EQ(frame_->Browser(), nullptr);

    // The timer moves on only once the delay has passed.
    frame_->DelayTrackbar()->setValue(2);
    frame_->OnSlideTimer();
    EXPECT_EQ(frame_->SelectedRow(), 2);
    frame_->SetLastSlideTick(frame_->LastSlideTick() - 2000);
    frame_->OnSlideTimer();
    EXPECT_EQ(frame_->SelectedRow(), 0);

    PressKey(list, Qt::Key_Right);  // row 1
    PressKey(list, Qt::Key_Delete);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(frame_->SelectedRow(), 1);  // the successor took the index
    EXPECT_EQ(frame_->RowPath(1), "/no/such/c.png");
    PressKey(list, Qt::Key_Delete);
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(frame_->SelectedRow(), -1);  // the last row went: nothing selected
}

TEST_F(BrowsePageTest, StoredDelayOutsideTheRangeLoadsAsFive)
{
    WriteSettingInteger("Slideshow", "SlideDelay", 61);
    Init();
    EXPECT_EQ(frame_->DelayTrackbar()->value(), 5);
    EXPECT_EQ(frame_->SlideDelayLabel()->text(), "Slide delay: 5 seconds");
    frame_->DelayTrackbar()->setValue(9);
    WriteSettingInteger("Slideshow", "SlideDelay", 0);
    frame_->LoadSlideshowOptions();
    EXPECT_EQ(frame_->DelayTrackbar()->value(), 5);
    frame_->DelayTrackbar()->setValue(12);
    EXPECT_EQ(ReadSettingInteger("Slideshow", "SlideDelay", 0), 12);
    EXPECT_EQ(frame_->SlideDelayLabel()->text(), "Slide delay: 12 seconds");
}

TEST_F(BrowsePageTest, GoMenuHoldsExistingStartPagesUpToItsLimit)
{
    Init();
    QStringList files;
    for (int i = 0; i < 250; ++i) {
        std::string file = temp_ / ("p" + std::to_string(i) + (i == 3 ? "&q.htm" : ".htm"));
        if (i != 1)
            WriteTextFile(file, "");
        files.append(QString::fromStdString(file));
    }
    frame_->RefreshLogEntriesMenu(files);
    const QList<QAction*> items = frame_->LogEntriesMenu()->actions();
    ASSERT_EQ(items.size(), 200);  // entries 0 to 200, less the missing one
    EXPECT_EQ(items[1]->objectName(), "MenuItem2");
    EXPECT_EQ(items[2]->data().toString(), files[3]);
    EXPECT_EQ(items.last()->objectName(), "MenuItem200");
    frame_->RefreshLogEntriesMenu({});
    EXPECT_TRUE(frame_->LogEntriesMenu()->actions().isEmpty());
}

TEST_F(BrowsePageTest, PagesAndImagesOpenInTheViewer)
{
    SkipUnderAddressSanitizer();
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    Init();
    frame_->resize(900, 700);
    frame_->show();
    const std::string page = temp_ / "index.htm";
    WriteTextFile(page, "<html><body><p>Copied</p></body></html>");
    frame_->RefreshLogEntriesMenu({QString::fromStdString(page)});
    ASSERT_EQ(frame_->LogEntriesMenu()->actions().size(), 1);
    frame_->LogEntriesMenu()->actions()[0]->trigger();
    ASSERT_NE(frame_->Browser(), nullptr);
    ASSERT_TRUE(WaitFor(*frame_));
    EXPECT_EQ(frame_->Browser()->url(), QUrl::fromLocalFile(QString::fromStdString(page)));
    EXPECT_EQ(frame_->AddressEdit()->text().toStdString(), page);

    // An image larger than the view goes through a generated page; the address line stays empty.
    SaveImage(temp_ / "large.bmp", 3000, 2500, "BMP");
    frame_->AddDroppedFiles({QString::fromStdString(temp_ / "large.bmp")});
    frame_->NextSlide();
    ASSERT_TRUE(WaitFor(*frame_));
    EXPECT_TRUE(frame_->AddressEdit()->text().isEmpty()) << frame_->AddressEdit()->text().toStdString();

    // A broken image is navigated to as it is; nothing fails.
    WriteTextFile(temp_ / "broken.jpg", "not a picture");
    frame_->AddressEdit()->setText(QString::fromStdString("  " + temp_ / "broken.jpg "));
    frame_->GoBtnClick();
    ASSERT_TRUE(WaitFor(*frame_));
    EXPECT_EQ(frame_->AddressEdit()->text().toStdString(), temp_ / "broken.jpg");
}

TEST_F(BrowsePageTest, LocalPagesCannotReachTheNetworkButTypedAddressesLoad)
{
    SkipUnderAddressSanitizer();
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    httplib::Server server;
    std::mutex mutex;
    QStringList asked;
    auto requested = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return asked;
    };
    server.Get(R"(/.*)", [&](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            asked.append(QString::fromStdString(req.path));
        }
        res.set_content("<html><body>remote</body></html>", "text/html");
    });
    server.set_keep_alive_max_count(1);
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serverThread([&] { server.listen_after_bind(); });
    const std::string base = "http://127.0.0.1:" + std::to_string(port);

    Init();
    const std::string page = temp_ / "local.htm";
    // Its resources are refused, and so is the refresh that would leave for the server.
    WriteTextFile(page, "<html><head><meta http-equiv=\"refresh\" content=\"0;url=" + base +
                            "/refresh.htm\"></head><body><img src=\"" + base + "/pixel.png\"><link rel=stylesheet href=\"" + base +
                            "/s.css\"><iframe src=\"" + base + "/frame.htm\"></iframe></body></html>");
    frame_->ShowAndLoadInBrowser(page);
    EXPECT_TRUE(WaitFor(*frame_));
    QEventLoop settle;
    QTimer::singleShot(1500, &settle, &QEventLoop::quit);
    settle.exec();
    EXPECT_TRUE(requested().isEmpty()) << requested().join(' ').toStdString();

    // A click on a link of the local page goes nowhere either.
    const std::string linked = temp_ / "linked.htm";
    WriteTextFile(linked, "<html><body style=\"margin:0\"><a href=\"" + base +
                              "/clicked.htm\" style=\"display:block;width:100%;height:400px\">away</a></body></html>");
    frame_->resize(800, 600);
    frame_->show();
    frame_->ShowAndLoadInBrowser(linked);
    EXPECT_TRUE(WaitFor(*frame_));
    QWidget* surface = frame_->Browser()->focusProxy() ? frame_->Browser()->focusProxy() : frame_->Browser();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, QPointF(50, 50), surface->mapToGlobal(QPointF(50, 50)), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(surface, &click);
    }
    QTimer::singleShot(1500, &settle, &QEventLoop::quit);
    settle.exec();
    EXPECT_TRUE(requested().isEmpty()) << requested().join(' ').toStdString();
    // ... and says so, with the address.
    EXPECT_TRUE(frame_->MessageBar()->isVisibleTo(frame_.get()));
    EXPECT_TRUE(frame_->MessageBar()->text().contains(QString::fromStdString(base + "/clicked.htm")))
        << frame_->MessageBar()->text().toStdString();

    frame_->AddressEdit()->setText(QString::fromStdString(base + "/typed.htm"));
    frame_->GoBtnClick();
    EXPECT_TRUE(WaitFor(*frame_));
    EXPECT_TRUE(requested().contains("/typed.htm"));
    EXPECT_FALSE(frame_->MessageBar()->isVisibleTo(frame_.get()));  // gone with the next page
    EXPECT_FALSE(requested().contains("/refresh.htm"));
    server.stop();
    serverThread.join();
}

TEST(BrowseInMainWindow, FedByTheLogAndReloadedWhenActivated)
{
    TTempFolder temp;
    TSpiderOutputSplitterForm splitter;
    TMainForm form;
    InitAfterFormsCreated(form, &splitter);
    auto* browse = qobject_cast<TIEViewFrame*>(form.Page(pgBrowse));
    ASSERT_NE(browse, nullptr);

    const std::string startPage = temp / "index.htm";
    WriteTextFile(startPage, "<html></html>");
    TSpiderOutputMsg msg;
    msg.FMsgType = OUTMSG_JOB_ENDED;
    msg.FJobID = 1;
    msg.FStartPageFile = startPage;
    splitter.Deliver(msg, 1);
    QStringList menu;
    for (QAction* action : browse->LogEntriesMenu()->actions())
        menu.append(action->data().toString());
    EXPECT_TRUE(menu.contains(QString::fromStdString(startPage)));

    WriteSettingInteger("Slideshow", "SlideDelay", 17);
    form.MoveFocusToPage(pgBrowse);
    EXPECT_EQ(browse->DelayTrackbar()->value(), 17);
    splitter.Close();
}

// Saves a picture of the Browse page for a person to look at: GLEANERY_SCREENSHOT=/tmp/x.png.
TEST(BrowsePicture, SavesScreenshotWhenAsked)
{
    const char* path = std::getenv("GLEANERY_SCREENSHOT");
    if (!path)
        GTEST_SKIP() << "GLEANERY_SCREENSHOT not set";
    TMainForm form;
    auto* browse = qobject_cast<TIEViewFrame*>(form.Page(pgBrowse));
    ASSERT_NE(browse, nullptr);
    browse->AddDroppedFiles({"/pictures/a.png", "/pictures/b.jpg"});
    form.MoveFocusToPage(pgBrowse);
    form.show();
    EXPECT_TRUE(form.grab().save(path));
}

TEST(BrowseImages, VeryLargeImagesAreShrunkByScaledDecoding)
{
    SkipUnderAddressSanitizer();
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    TTempFolder temp;
    // 40 megapixels: over the limit for decoding at full size.
    {
        QImage image(8000, 5000, QImage::Format_Grayscale8);
        image.fill(90);
        ASSERT_TRUE(image.save(QString::fromStdString(temp / "huge.jpg"), "JPEG", 50));
    }
    int h = 0, w = 0;
    ASSERT_TRUE(GetImageSize(temp / "huge.jpg", h, w));
    EXPECT_EQ(w, 8000);
    EXPECT_EQ(h, 5000);
    ASSERT_TRUE(WriteScaledImage(temp / "huge.jpg", 800, 500, temp / "small.png"));
    EXPECT_EQ(QImageReader(QString::fromStdString(temp / "small.png")).size(), QSize(800, 500));
    EXPECT_FALSE(WriteScaledImage(temp / "huge.jpg", 8000, 5000, temp / "full.png"));  // never at full size

    SetSlideshowPreferences(0, 0, true, false);
    TSpiderOutputSplitterForm splitter;
    TIEViewFrame frame;
    frame.Initialize(&splitter);
    frame.resize(900, 700);
    frame.show();
    frame.ShowAndLoadInBrowser(temp / "huge.jpg");
    ASSERT_TRUE(WaitFor(frame));
    // A generated page (the address line stays empty) showing a scaled copy, not the file.
    EXPECT_TRUE(frame.AddressEdit()->text().isEmpty()) << frame.AddressEdit()->text().toStdString();
    QString html;
    QEventLoop loop;
    frame.Browser()->page()->toHtml([&](const QString& text) {
        html = text;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(html.contains("slide1.png")) << html.toStdString();
    EXPECT_FALSE(html.contains("huge.jpg")) << html.toStdString();
    splitter.Close();
}

// A page of a copy on disk, for the desktop to open; the web view may start.
std::string CopiedPageIn(const TTempFolder& temp)
{
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    const std::string page = temp / "index.htm";
    WriteTextFile(page, "<html><body>copy</body></html>");
    return page;
}

TEST(BrowseInMainWindow, PagesTheDesktopCannotOpenShowOnTheBrowsePage)
{
    SkipUnderAddressSanitizer();
    TTempFolder temp;
    const std::string page = CopiedPageIn(temp);
    TMainForm form;
    TShellOpener old = SetShellOpener([](const QUrl&) { return false; });
    TBoxRecorder boxes;
    EXPECT_TRUE(TryShellExecute(form.Page(pgLog), page, ""));  // a page of the window, as the pages call it
    EXPECT_EQ(form.ActivePage(), pgBrowse);
    auto* browse = qobject_cast<TIEViewFrame*>(form.Page(pgBrowse));
    ASSERT_NE(browse, nullptr);
    EXPECT_EQ(browse->AddressEdit()->text().toStdString(), page);
    EXPECT_TRUE(boxes.boxes.empty());

    // A folder and an e-mail address cannot be shown there: a plain box, a short caption.
    EXPECT_FALSE(TryShellExecute(&form, temp.Path(), "explore"));
    EXPECT_FALSE(TryShellExecute(&form, "mailto:bob@example.com", ""));
    // A missing file is named as missing.
    EXPECT_FALSE(TryShellExecute(&form, temp / "gone.htm", ""));
    ASSERT_EQ(boxes.boxes.size(), 3u);
    for (const std::string& caption : boxes.captions)
        EXPECT_EQ(caption, "Gleanery");
    EXPECT_NE(boxes.boxes[0].find(temp.Path()), std::string::npos);
    EXPECT_EQ(boxes.boxes[0].find("Error"), std::string::npos) << boxes.boxes[0];
    EXPECT_NE(boxes.boxes[1].find("bob@example.com"), std::string::npos);
    EXPECT_NE(boxes.boxes[2].find("Missing file " + temp / "gone.htm"), std::string::npos) << boxes.boxes[2];

    // A desktop that opens it: nothing else happens.
    form.MoveFocusToPage(pgStart);
    SetShellOpener([](const QUrl&) { return true; });
    EXPECT_TRUE(TryShellExecute(&form, page, ""));
    EXPECT_EQ(form.ActivePage(), pgStart);
    SetShellOpener(old);
}

// The desktop's opener started but then failed (a browser that refuses to start): the user is
// told what was not opened and where it is; a page is shown on the Browse page as well.
TEST(BrowseInMainWindow, AnOpenerThatFailsIsTold)
{
    SkipUnderAddressSanitizer();
    TTempFolder temp;
    const std::string page = CopiedPageIn(temp);
    TMainForm form;
    const QString old = SetDesktopOpenerProgram("false");
    TBoxRecorder boxes;
    EXPECT_TRUE(TryShellExecute(&form, temp.Path(), "explore"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.boxes.size() == 1; }, 10000));
    EXPECT_NE(boxes.boxes[0].find("Could not open " + temp.Path()), std::string::npos) << boxes.boxes[0];
    EXPECT_NE(boxes.boxes[0].find("is at:\n" + temp.Path()), std::string::npos) << boxes.boxes[0];
    EXPECT_NE(form.ActivePage(), pgBrowse);

    EXPECT_TRUE(TryShellExecute(form.Page(pgLog), page, ""));
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.boxes.size() == 2; }, 10000));
    EXPECT_NE(boxes.boxes[1].find("is at:\n" + page), std::string::npos) << boxes.boxes[1];
    EXPECT_NE(boxes.boxes[1].find("Browse page"), std::string::npos) << boxes.boxes[1];
    EXPECT_EQ(form.ActivePage(), pgBrowse);
    SetDesktopOpenerProgram(old);
}
