#pragma once

#include <QFrame>
#include <QPixmap>

class QHBoxLayout;
class QJsonObject;
class QLabel;
class QMovie;

// The strip along the bottom of the main window: the program version, a link
// to a newer installer when the platform announces one, the connection text
// and an indicator that turns while a server request is in flight. While the
// voice switch cannot be reached, a line beside the connection text says so.
class StatusBar : public QFrame
{
    Q_OBJECT

public:
    explicit StatusBar(QWidget* parent = nullptr);

    // Where the newer installer is downloaded from.
    static QString downloadUrl();
    // True when `serverVersion` sorts after this program's version, compared
    // character by character.
    static bool isNewerVersion(const QString& serverVersion);

public slots:
    void slot_trans_start();
    void slot_trans_finished();
    void slot_fetch_version_finished(QJsonObject* version, QString errors);
    void slot_download_newversion(QString url);
    // Shows whether the platform is reached, as the requests' outcomes tell.
    void slot_connection_changed(bool connected);
    // Shows whether the voice switch is reached, as the voice session tells.
    void slot_voice_connection_changed(bool connected);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* versionLabel;
    QLabel* connectionLabel;
    // Hidden unless the voice session could not connect or was lost.
    QLabel* voiceLabel;
    QLabel* transferLabel;
    QLabel* updateLink;
    QHBoxLayout* layout;
    QMovie* transferMovie;
    QPixmap idlePixmap;
    // The cloud in grey: shown instead of idlePixmap while the platform is not reached.
    QPixmap offlinePixmap;
    bool versionChecked = false;
};
