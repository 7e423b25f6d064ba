#include "qtdialogs.h"

#include "windowtexts.h"

#include <QInputDialog>

namespace {

QString chosenFile(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

std::unique_ptr<QFileDialog> makeFileDialog(QWidget* parent, const QString& startFolder,
                                            const QStringList& filters)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    // Qt's own dialog matches the pattern whatever the case of the name (posts.XML is listed
    // too) on every desktop; a native one may not.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setNameFilters(filters);
    dialog->setDirectory(startFolder);
    return dialog;
}

} // namespace

std::unique_ptr<QFileDialog> makeOpenDialog(QWidget* parent, const QString& startFolder)
{
    auto dialog = makeFileDialog(parent, startFolder, {WindowTexts::openFilter});
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    return dialog;
}

std::unique_ptr<QFileDialog> makeSaveDialog(QWidget* parent, const QString& startFolder)
{
    auto dialog =
        makeFileDialog(parent, startFolder, {WindowTexts::saveFilter, WindowTexts::saveFilterUtf8});
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // No default suffix: the file gets exactly the name the user typed. The question before an
    // existing file is replaced stays on (Qt's default).
    return dialog;
}

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& text)
{
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(WindowTexts::caption);
    box->setIcon(QMessageBox::NoIcon);
    // A path may hold '<' and must not be read as markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setStandardButtons(QMessageBox::Ok);
    return box;
}

QString QtDialogs::chooseExportToOpen(const QString& startFolder)
{
    return chosenFile(*makeOpenDialog(parent_, startFolder));
}

QString QtDialogs::chooseFileToSave(const QString& startFolder, TextEncoding& encoding)
{
    const auto dialog = makeSaveDialog(parent_, startFolder);
    const QString path = chosenFile(*dialog);
    encoding = dialog->selectedNameFilter() == WindowTexts::saveFilterUtf8 ? TextEncoding::Utf8
                                                                           : TextEncoding::Latin1;
    return path;
}

void QtDialogs::showMessage(const QString& text)
{
    makeMessageBox(parent_, text)->exec();
}

std::optional<QString> QtDialogs::askSiteAddress(const QString& current)
{
    bool accepted = false;
    const QString address =
        QInputDialog::getText(parent_, WindowTexts::caption, WindowTexts::siteAddressQuestion,
                              QLineEdit::Normal, current, &accepted);
    return accepted ? std::optional<QString>(address) : std::nullopt;
}
