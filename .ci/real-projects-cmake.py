"""Ports a CMake project's configure_file calls to plom_expand, as the
configure-file guide says: the cmake-generate recipe defined after the top
project(), then for each call every variable its template holds, named, and
each #cmakedefine line as what configure_file makes of it. Prints the
number of calls ported.  usage: real-projects-cmake.py SOURCE RECIPE"""
import os
import re
import sys

source, recipe = sys.argv[1], open(sys.argv[2]).read()
call = re.compile(r'configure_file\(\s*("?\$\{CMAKE_CURRENT_SOURCE_DIR\}/([^"\s]+)"?)'
                  r'\s+("?[^"\s)]+"?)(\s+@ONLY)?\s*\)', re.I)
count = 0


def port(match, here):
    global count
    count += 1
    template = open(os.path.join(here, match.group(2))).read()
    if not match.group(4) and '${' in template:
        sys.exit('%s: ${NAME} references, which only configure_file replaces' % match.group(2))
    names = sorted(set(re.findall(r'@([A-Za-z0-9_]+)@', template)))
    defines = re.findall(r'^#cmakedefine\b(.*)$', template, re.M)
    if any(not re.fullmatch(r' ([A-Za-z0-9_]+)', d) for d in defines):
        sys.exit('%s: a #cmakedefine with a value: not ported' % match.group(2))
    defines = sorted((d.strip() for d in defines), key=len, reverse=True)
    lines = []
    for d in defines:
        lines += ['if(%s)' % d, '  set(plom_define_%s "#define %s")' % (d, d), 'else()',
                  '  set(plom_define_%s "/* #undef %s */")' % (d, d), 'endif()']
    words = names + ['"#cmakedefine %s=${plom_define_%s}"' % (d, d) for d in defines]
    output = match.group(3).strip('"')
    lines += ['plom_expand(%s %s' % (match.group(1), match.group(3)), '    %s)' % ' '.join(words),
              'add_custom_target(plom-generated-%d ALL DEPENDS "%s.new")' % (count, output)]
    return '\n'.join(lines)


for here, dirs, files in os.walk(source):
    if 'CMakeLists.txt' not in files:
        continue
    path = os.path.join(here, 'CMakeLists.txt')
    text = call.sub(lambda m: port(m, here), open(path).read())
    if here == source:
        text, found = re.subn(r'^(project\([^)]*\)\n)', lambda m: m.group(1) + '\n' + recipe,
                              text, count=1, flags=re.M | re.I)
        if not found:
            sys.exit('no project() in the top CMakeLists.txt')
    open(path, 'w').write(text)
print(count)
