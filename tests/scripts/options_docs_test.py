"""The program's options as --help, the manual page and the README name them: each text names
every option the program takes, no other, and the same words for each choice.

    options_docs_test.py WORKDIR FOTOVANE
"""

import os
import re
import sys

from harness import common as fv

# XScreenSaver passes these to every hack: taken and ignored, so the manual page alone names
# them, in a sentence of their own.
HOST_OPTIONS = {"fps", "no-fps", "install", "noinstall", "mono", "visual"}
ALIASES = {"h"}  # -h, the short --help


def source(*path):
    with open(os.path.join(fv.SOURCE, *path)) as f:
        return f.read()


def program_options():
    """The option names and the words of each choice, from the parser's own tables."""
    text = source("src", "app", "options.cpp")
    table = text[text.index("constexpr OptionSpec Options[]"):]
    names = set(re.findall(r'\{"([a-z-]+)", Option', table[:table.index("};")]))
    choices = {m.group(1).lower(): set(re.findall(r'"([a-z]+)"', m.group(2)))
               for m in re.finditer(r"constexpr Choice (\w+)Choices\[\] = \{(.*?)\};", text)}
    return names, choices


def named(text):
    """Option names in a text: words after one or two dashes, not inside other words or
    paths."""
    return set(re.findall(r"(?<![\w/.-])--?([a-z][a-z-]*[a-z])", text))


def choice_words(text, option):
    """The words of each place that writes `--option a|b`."""
    text = re.sub(r"\s*\|\s*", "|", text)
    return [set(m.split("|")) for m in re.findall(r"--?%s\s+([a-z]+(?:\|[a-z]+)+)" % option,
                                                  text)]


def manual_parts():
    """The manual page's synopsis, the option tags of its OPTIONS section and the whole
    section, as plain text."""
    page = source("packaging", "fotovane.6").replace("\\-", "-").replace('"', " ")
    sections = dict(re.findall(r"^\.SH (\w[\w ]*)\n(.*?)(?=^\.SH |\Z)", page, re.M | re.S))
    options = sections["OPTIONS"]
    tags = "\n".join(re.findall(r"^\.TP\n(.*)$", options, re.M))
    return sections["SYNOPSIS"], tags, options


def readme_options():
    """The README's paragraph that lists the Linux saver's options, its code spans only."""
    text = source("README.md")
    start = text.index("Options (single or double dash):")
    paragraph = text[start:text.index("\n\n", start)]
    return " ".join(re.findall(r"`([^`]*)`", paragraph))


def check(report, program):
    names, choices = program_options()
    documented = names - HOST_OPTIONS - ALIASES
    report.check(len(documented) >= 15 and len(choices) == 4 and HOST_OPTIONS <= names,
                 "the parser's tables read: %d options, choices of %s"
                 % (len(names), sorted(choices)))

    result = fv.run(program, "--help")
    synopsis, tags, options = manual_parts()
    texts = {"--help": result.stdout, "the manual's synopsis": synopsis,
             "the manual's options": tags, "the README": readme_options()}
    report.check(result.returncode == 0 and texts["--help"], "fotovane --help answers")
    for what, text in texts.items():
        found = named(text)
        report.check(found == documented, "%s names every option, no other (missing %s, "
                     "extra %s)" % (what, sorted(documented - found), sorted(found - documented)))
        for option, words in sorted(choices.items()):
            written = choice_words(text, option)
            report.check(written and all(w == words for w in written),
                         "%s: --%s %s (%s)" % (what, option, "|".join(sorted(words)), written))
    report.check(HOST_OPTIONS <= named(options),
                 "the manual's options name those XScreenSaver passes to every hack")


def main():
    work, (program,), report = fv.start()
    return report.run(lambda: check(report, program))


if __name__ == "__main__":
    sys.exit(main())
