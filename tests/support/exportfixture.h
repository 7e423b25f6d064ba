#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Writes small WordPress exports for tests into a temporary folder.
class ExportFixture
{
public:
    // An export whose channel holds exactly the given item elements.
    static QString channelWith(const QStringList& items)
    {
        return QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0" xmlns:content="http://purl.org/rss/1.0/modules/content/"
     xmlns:wp="http://wordpress.org/export/1.2/">
<channel>
<title>Fixture</title>
%1
</channel>
</rss>
)")
            .arg(items.join(QLatin1Char('\n')));
    }

    static QString item(const QString& title, const QString& body)
    {
        return QStringLiteral("<item><title>%1</title><content:encoded><![CDATA[%2]]></"
                              "content:encoded></item>")
            .arg(title, body);
    }

    QString write(const QByteArray& bytes, const QString& name = QStringLiteral("export.xml"))
    {
        const QString path = dir_.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return QString();
        return path;
    }

    QString write(const QString& text, const QString& name = QStringLiteral("export.xml"))
    {
        return write(text.toUtf8(), name);
    }

    QString path(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};
