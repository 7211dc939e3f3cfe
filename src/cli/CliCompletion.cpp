#include "cli/CliDocs.h"

#include "cli/CliHelp.h"

#include <algorithm>

namespace vantrel::cli {

namespace {

// The script's fixed parts. _vantrel_cli_files adds the file names that
// start with $1 (names with blanks stay whole); with further arguments,
// only folders and the files that end in one of those extensions, in any
// letter case, as the program takes them.
const char kHead[] = R"(# bash completion for vantrel-cli. Made by vantrel-cli-docs from the
# program's own tables of subcommands and options; do not edit.

_vantrel_cli_files()
{
    compopt -o filenames 2>/dev/null
    local cur=$1 name ext
    shift
    if (($# == 0)); then
        mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -f -- "$cur")
        return
    fi
    while IFS= read -r name; do
        if [[ -d $name ]]; then
            COMPREPLY+=("$name")
            continue
        fi
        for ext in "$@"; do
            if [[ ${name,,} == *."$ext" ]]; then
                COMPREPLY+=("$name")
                break
            fi
        done
    done < <(compgen -f -- "$cur")
}

_vantrel_cli()
{
    COMPREPLY=()
    local cur=${COMP_WORDS[COMP_CWORD]-} prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD-1]-}
    # "--dhcp=o": bash splits the word at "=".
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD-2]-}
    fi
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "%1 help --help --version" -- "$cur")
        return
    fi
    if [[ ${COMP_WORDS[1]-} == help ]]; then
        ((COMP_CWORD == 2)) && mapfile -t COMPREPLY < <(compgen -W "%1" -- "$cur")
        return
    fi
    local options= words= files=
    case ${COMP_WORDS[1]-} in
)";

const char kTail[] = R"(    *) return ;;
    esac
    if [[ $cur == -* || ( -z $files && -z $words ) ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
    if [[ -n $files ]]; then
        _vantrel_cli_files "$cur"
    fi
}

complete -F _vantrel_cli vantrel-cli
)";

// The extensions of the files an option's value names: "FILE.csv" says
// its own; --config names a configuration. Empty: any file.
QStringList FileExtensions(const OptionSpec& option)
{
    if (option.Name == QStringLiteral("--config"))
        return {QStringLiteral("dat"), QStringLiteral("json")};
    const qsizetype dot = option.Value.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QStringList() : QStringList{option.Value.mid(dot + 1).toLower()};
}

// What follows one subcommand's options: a file name, one of some words,
// or a value to type (nothing to offer). Options alike share a case.
QString ValueCases(const CommandSpec& spec)
{
    QList<std::pair<QString, QStringList>> cases; // action, option names
    const auto add = [&](const QString& action, const OptionSpec& o) {
        auto it = std::find_if(cases.begin(), cases.end(), [&](const auto& c) { return c.first == action; });
        if (it == cases.end())
            it = cases.insert(cases.end(), {action, {}});
        if (!o.Alias.isEmpty())
            it->second << o.Alias;
        it->second << o.Name;
    };
    for (const OptionSpec& o : spec.Options) {
        if (ValueIsFile(o))
            add(QStringLiteral("_vantrel_cli_files \"$cur\"%1; return")
                    .arg(FileExtensions(o).isEmpty() ? QString()
                                                     : QLatin1Char(' ') + FileExtensions(o).join(QLatin1Char(' '))),
                o);
        else if (!ValueWords(o).isEmpty())
            add(QStringLiteral("mapfile -t COMPREPLY < <(compgen -W \"%1\" -- \"$cur\"); return")
                    .arg(ValueWords(o).join(QLatin1Char(' '))),
                o);
        else if (!o.Value.isEmpty())
            add(QStringLiteral("return"), o);
    }
    QString text;
    for (const auto& [action, names] : cases)
        text += QStringLiteral("        %1) %2 ;;\n").arg(names.join(QLatin1Char('|')), action);
    return text;
}

QString SubcommandCase(const CommandSpec& spec)
{
    QStringList options;
    for (const OptionSpec& o : spec.Options) {
        if (!o.Alias.isEmpty())
            options << o.Alias;
        options << o.Name;
    }
    options << QStringLiteral("--help");
    QString text = QStringLiteral("    %1)\n").arg(spec.Name);
    const QString values = ValueCases(spec);
    if (!values.isEmpty())
        text += QStringLiteral("        case $prev in\n") + values + QStringLiteral("        esac\n");
    text += QStringLiteral("        options=\"%1\"\n").arg(options.join(QLatin1Char(' ')));
    if (!spec.ArgumentWords.isEmpty())
        text += QStringLiteral("        words=\"%1\"\n").arg(spec.ArgumentWords.join(QLatin1Char(' ')));
    if (spec.FileArguments)
        text += QStringLiteral("        files=1\n");
    return text + QStringLiteral("        ;;\n");
}

} // namespace

QString BashCompletion()
{
    QStringList names;
    QString cases;
    for (const CommandSpec& spec : CommandSpecs()) {
        names << spec.Name;
        cases += SubcommandCase(spec);
    }
    return QString::fromLatin1(kHead).arg(names.join(QLatin1Char(' '))) + cases + QString::fromLatin1(kTail);
}

} // namespace vantrel::cli
