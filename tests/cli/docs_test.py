"""Every command, option and exit code that the rizeroz tool's --help names is documented:
in the man page, in docs/cli.md, and in the bash completion, whose offers must be the
help's options exactly; every synopsis of a command names its own options."""
import re
import subprocess

import pytest


def help_of(tool, *command):
    """(commands, options, exit codes) that `rizeroz [COMMAND] --help` lists, each option
    as its names, the short and the long."""
    text = subprocess.run([tool, *command, "--help"], capture_output=True, text=True, check=True).stdout
    commands, options, section = [], [], None
    for line in text.splitlines():
        if re.match(r"^\S.*:$", line):
            section = line
        elif section == "Subcommands:" and re.match(r"^  \w", line):
            commands.append(line.split()[0])
        elif section == "Options:" and re.match(r"^  -", line):
            options.append(re.findall(r"(?<![\w-])--?[a-z][\w-]*", line.split("  ")[1]))
    codes = re.findall(r"[;:] (\d+) ", text[text.find("Exit codes:"):])
    return commands, options, codes


def all_names(options):
    return {name for names in options for name in names}


def synopses(man, guide, command):
    """The places that give a command's synopsis: docs/cli.md's list of commands and its
    section heading, the man page's SYNOPSIS and its entry in COMMANDS; font changes and
    escaped dashes made plain."""
    plain = lambda text: re.sub(r"\\f[BIRP]", "", text).replace("\\-", "-")
    listed = re.search(r"^rizeroz %s\b.*\n(?:[ \t]+\S.*\n)*" % command, guide, re.M)
    heading = re.search(r"^## `rizeroz %s\b.*$" % command, guide, re.M)
    summary = re.search(r"^\.B rizeroz %s\n(?:(?!\.br\n).*\n)*" % command, man, re.M)
    entry = re.search(r'^\.BI "%s .*$' % command, man, re.M)
    return {"docs/cli.md's list": listed, "docs/cli.md's heading": heading, "the man page's SYNOPSIS": summary,
            "the man page's entry": entry}


def completion(script, *words, cwd=None):
    """What the bash completion offers after `rizeroz WORDS...`, run in `cwd`."""
    shell = 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _rizeroz; printf "%s\\n" "${COMPREPLY[@]}"'
    done = subprocess.run(["bash", "-c", shell, "bash", script, "rizeroz", *words], capture_output=True, text=True,
                          check=True, cwd=cwd)
    return set(done.stdout.split())


@pytest.mark.parametrize("words, offered", [
    (["render", "x.xml", "--color", ""], {"auto", "always", "never"}),
    (["convert", "a", "b", "--to", "j"], {"json"}),
    (["render", "x.xml", "--diff", "tool_"], {"tool_completion_probe.json"}),
    (["render", "x.xml", "-o", "tool_"], {"tool_completion_probe.json"}),
    (["check", "--q"], {"--quiet"}),
])
def test_completion_of_values(option, tmp_path, words, offered):
    (tmp_path / "tool_completion_probe.json").write_text("{}")
    assert completion(option("--completion"), *words, cwd=tmp_path) == offered


def test_documented(tool, option):
    if tool.emulated:
        pytest.skip("the help is read natively")
    man = open(option("--man"), encoding="utf-8").read()
    guide = open(option("--guide"), encoding="utf-8").read()
    completion_script = option("--completion")
    failures = []
    expect = lambda condition, what: condition or failures.append(what)
    commands, top_options, codes = help_of(tool.command[-1])
    top_options = all_names(top_options)
    expect(commands and codes, "the help lists no commands or no exit codes")
    expect(completion(completion_script, "") == set(commands) | {o for o in top_options if o.startswith("--")},
           "the completion of a command name offers other words than the help's commands and options")
    for code in codes:
        expect(re.search(r"^\.B %s$" % code, man, re.M), "the man page's EXIT STATUS lacks %s" % code)
        expect("\n| %s |" % code in guide, "docs/cli.md's exit code table lacks %s" % code)
    for option in top_options:
        expect(option.replace("-", "\\-") in man, "the man page does not name %s" % option)
    for command in commands:
        _, option_names, _ = help_of(tool.command[-1], command)
        options = all_names(option_names)
        # Each synopsis names every option of the command's own (not those every command
        # shares, which docs/cli.md and the man page name once for all), or says "[options]".
        own = [n for n in option_names if not set(n) & {"--help", "--from", "--quiet", "--color"}]
        expect(re.search(r'^\.BI? "?%s\b' % command, man, re.M), "the man page does not describe %s" % command)
        expect("## `rizeroz %s" % command in guide, "docs/cli.md has no section for %s" % command)
        long_options = {o for o in options if o.startswith("--")}
        expect(completion(completion_script, command, "--") == long_options,
               "the completion of %s offers %s, its help %s" % (command, completion(completion_script, command, "--"),
                                                                  long_options))
        for option in options - top_options:
            expect(option.replace("-", "\\-") in man, "the man page does not name %s of %s" % (option, command))
            expect("rizeroz %s" % command in guide and option in guide, "docs/cli.md does not name %s" % option)
        for place, found in synopses(man, guide, command).items():
            text = re.sub(r"\\f[BIRP]", "", found.group(0)).replace("\\-", "-") if found else ""
            for names in own:
                expect(found and (re.search(r"\[ *options *\]", text) or
                                  any(re.search(r"(?<![\w-])%s(?![\w-])" % n, text) for n in names)),
                       "%s of %s does not name %s" % (place, command, names[-1]))
    assert not failures, "\n".join(failures)


# --from speaks of the inputs the command takes: several files, two (one value each), or
# one (taken once, so the help shows no "...").
@pytest.mark.parametrize("command, inputs", [("info", "several"), ("check", "several"), ("dump", "one"),
                                             ("convert", "one"), ("diff", "two"), ("render", "two")])
def test_from_speaks_of_the_inputs_taken(tool, command, inputs):
    if tool.emulated:
        pytest.skip("the help is read natively")
    text = subprocess.run([tool.command[-1], command, "--help"], capture_output=True, text=True, check=True).stdout
    line = next(line for line in text.splitlines() if line.lstrip().startswith("--from"))
    assert ("input files" in line, "given twice" in line, "..." in line) == \
        (inputs != "one", inputs == "two", inputs != "one"), line
