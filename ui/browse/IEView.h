#pragma once
// The Browse page: a web view with an address line for looking at downloaded pages, and a
// slideshow of image files (from downloads, a folder tree or dropped files) shown in the view.
#include <QFrame>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSlider;
class QTemporaryDir;
class QSplitter;
class QTimer;
class QToolButton;
class QTreeWidget;
class QWebEngineView;
class TSpiderOutputMsg;
class TSpiderOutputSplitterForm;

// Rows of the slideshow list at most.
constexpr int kMaxSlideshowImages = 5000;
// Entries of the Go menu at most.
constexpr int kMaxLogEntryMenuItems = 201;

// ".jpg", ".jpeg", ".gif", ".bmp" or ".png", in any case.
bool IsImageExtension(const std::string& path);
// Height and width of a local JPEG, GIF or BMP file, decoded in full so a damaged file is
// refused. Other types, unreadable files and images too large to decode safely give false.
bool GetImageSize(const std::string& path, int& height, int& width);
// The size an image of width x height takes in a view of viewWidth x viewHeight less a
// 40-pixel margin; false when it fits (or the view has no room) and is shown as it is.
bool ShrunkImageSize(int width, int height, int viewWidth, int viewHeight, int& newWidth, int& newHeight);
// A page that shows the image file at path centred, scaled to width x height.
std::string BuildImagePage(const std::string& path, int width, int height);
// Whether the viewer refuses a navigation: a page shown from a local file leads nowhere on the
// network, neither by links nor by refreshes or frames; an address typed in is always loaded.
bool IsBlockedViewerRequest(const QUrl& url, bool typed, const QUrl& documentUrl);

// An image of more pixels than this is decoded only at a reduced size.
constexpr int64_t kMaxFullDecodePixels = 32'000'000;
// Writes the image at path decoded straight to width x height (never at full size) as a PNG
// file at target; false when it cannot be read that way.
bool WriteScaledImage(const std::string& path, int width, int height, const std::string& target);

class TIEViewFrame : public QFrame {
    Q_OBJECT
public:
    explicit TIEViewFrame(QWidget* parent = nullptr);
    ~TIEViewFrame() override;

    // Start-up, once all pages exist: registers the listener and loads the options.
    void Initialize(TSpiderOutputSplitterForm* splitter);
    void UpdateLanguageLabels();
    // Run each time the page becomes the active page.
    void LoadSlideshowOptions();
    void AddDroppedFiles(const QStringList& paths);
    // The Go menu: the start pages of the logged jobs that still exist.
    void RefreshLogEntriesMenu(const QStringList& files);
    void OnSpiderOutput(const TSpiderOutputMsg& msg, int32_t label);

    void GoBtnClick();
    void BrowseBtnClick();
    void StartBtnClick();
    void StopBtnClick();
    void AddFromFolderBtnClick();
    void ShowSlidePanelBtnClick();
    void OnSlideTimer();
    void NextSlide();
    void PreviousSlide();
    void ShowSelectedImage();
    void AddImagesFromFolder(const std::string& folder);
    void ShowAndLoadInBrowser(const std::string& address);

    QLineEdit* AddressEdit() const { return addressEdit_; }
    // The line above the view that says why a link led nowhere; hidden when there is nothing to say.
    QLabel* MessageBar() const { return messageBar_; }
    // A link of a local page to an address that was not copied: said in the message bar.
    void OnRefusedLink(const QUrl& address);
    QToolButton* StartBtn() const { return startBtn_; }
    QToolButton* StopBtn() const { return stopBtn_; }
    QToolButton* AddFromFolderBtn() const { return addFromFolderBtn_; }
    QCheckBox* ShowOnDownload() const { return showOnDownload_; }
    QSlider* DelayTrackbar() const { return delayTrackbar_; }
    QLabel* SlideDelayLabel() const { return slideDelayLabel_; }
    QTreeWidget* ImageFilenames() const { return imageFilenames_; }
    QMenu* LogEntriesMenu() const { return logEntriesMenu_; }
    QWidget* SlideshowPanel() const { return slideshowPanel_; }
    // Null until the first address is shown.
    QWebEngineView* Browser() const { return browser_; }
    bool SlideshowRunning() const;
    bool IsLoadingDocument() const { return loadingDocument_; }
    int MinSlideWidth() const { return minSlideWidth_; }
    int MinSlideHeight() const { return minSlideHeight_; }
    bool ShrinkLarge() const { return shrinkLarge_; }
    // The file of the image row, or empty.
    std::string RowPath(int row) const;
    int SelectedRow() const;
    int64_t LastSlideTick() const { return lastSlideTick_; }
    void SetLastSlideTick(int64_t tick) { lastSlideTick_ = tick; }

signals:
    // The viewer finished loading a document.
    void DocumentComplete();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RegisterForSpiderOutput(TSpiderOutputSplitterForm* splitter);
    void SaveSlideshowOptions();
    void AddDownloadedImage(const TSpiderOutputMsg& msg);
    void AddImageRow(const std::string& path);
    // Runs addEntries as one step of filling the image list: the outermost step holds the list's
    // updates and counts entries afresh; a failure is logged under caller.
    void LoadImageEntries(const char* caller, const std::function<void()>& addEntries);
    // One entry of a folder or a drop: a folder is searched when searchFolder, an image file
    // large enough is listed; every few entries the window's events are handled.
    void AddImageEntry(const std::string& path, bool isFolder, bool searchFolder);
    bool IsImageTooSmall(const std::string& path) const;
    bool ImageListFull() const;
    void EnsureBrowser();
    void LoadHTMLIntoBrowser(const std::string& html, const std::string& baseFile);
    // A copy of a large image scaled to width x height in a scratch folder, or empty.
    std::string ScaledImageFile(const std::string& path, int width, int height);
    void FocusImageList();
    void ClearLogEntriesMenu();
    void LogEntryClick(const QString& entry);
    void IEBDocumentComplete(bool ok);
    void DelayTrackbarChange(int position);
    void ShowOnDownloadClick();
    bool ImageFilenamesKeyDown(int key);
    void DeleteSelectedRow();
    void SelectRow(int row);
    void PumpMessages();
    QString SlideDelayText() const;
    static int64_t TickCount();

    QWidget* topPanel_ = nullptr;
    QLabel* addressLabel_ = nullptr;
    QLineEdit* addressEdit_ = nullptr;
    QToolButton* goBtn_ = nullptr;
    QToolButton* browseBtn_ = nullptr;
    QToolButton* showSlidePanelBtn_ = nullptr;
    QMenu* logEntriesMenu_ = nullptr;
    QWidget* browserHolder_ = nullptr;
    QLabel* messageBar_ = nullptr;
    std::unique_ptr<QTemporaryDir> scaledImages_;
    int scaledImageCount_ = 0;
    QWebEngineView* browser_ = nullptr;
    QSplitter* splitter1_ = nullptr;
    QWidget* slideshowPanel_ = nullptr;
    QGroupBox* slideshowGroup_ = nullptr;
    QLabel* slideDelayLabel_ = nullptr;
    QCheckBox* showOnDownload_ = nullptr;
    QToolButton* startBtn_ = nullptr;
    QToolButton* stopBtn_ = nullptr;
    QToolButton* addFromFolderBtn_ = nullptr;
    QSlider* delayTrackbar_ = nullptr;
    QTreeWidget* imageFilenames_ = nullptr;
    QTimer* slideTimer_ = nullptr;

    bool loading_ = false;
    int folderLoadDepth_ = 0;
    int loadEntryCount_ = 0;
    int64_t lastSlideTick_ = 0;
    int minSlideWidth_ = 100;
    int minSlideHeight_ = 100;
    bool shrinkLarge_ = true;
    bool pumpingMessages_ = false;
    bool suppressAddressUpdate_ = false;
    bool loadingDocument_ = false;
};
