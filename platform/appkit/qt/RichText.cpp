#include "platform/appkit/qt/RichText.h"

#include "platform/appkit/qt/SystemColors.h"

namespace appkit {

QString richText(const MutableAttributedString& string, const QPalette& palette) {
    const QByteArray utf8 = QByteArray::fromStdString(string.string());
    QString html;
    for (const AttributedRun& run : string.runs()) {
        const QString text = QString::fromUtf8(utf8.mid(static_cast<qsizetype>(run.range.location),
                                                        static_cast<qsizetype>(run.range.length)))
                                 .toHtmlEscaped();
        const TextAttributes& attributes = run.attributes;
        QString style;
        if (attributes.foregroundColor) {
            style += QStringLiteral("color:%1;").arg(systemColor(*attributes.foregroundColor, palette).name());
        }
        const bool isUnderlined = attributes.underlineStyle != UnderlineStyle::none;
        style += isUnderlined ? QStringLiteral("text-decoration:underline;") : QStringLiteral("text-decoration:none;");
        if (attributes.link) {
            html += QStringLiteral("<a href=\"%1\" style=\"%2\">%3</a>")
                        .arg(QString::fromStdString(*attributes.link).toHtmlEscaped(), style, text);
            continue;
        }
        html += QStringLiteral("<span style=\"%1\">%2</span>").arg(style, text);
    }
    return html;
}

}  // namespace appkit
