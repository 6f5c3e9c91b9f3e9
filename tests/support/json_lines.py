# Reads a document of --json with Python's own parser (strict: UTF-8, no NaN)
# and prints it as lines a test compares: one per side, finding and property,
# fields separated by tabs, with backslash, tab and line feed escaped.
import json
import sys


def esc(text):
    return str(text).replace('\\', '\\\\').replace('\n', '\\n').replace('\t', '\\t')


def refuse(constant):
    raise ValueError('not JSON: ' + constant)


with open(sys.argv[1], encoding='utf-8', errors='strict') as source:
    doc = json.loads(source.read(), parse_constant=refuse)
lines = ['schema\t%d' % doc['schema'], 'version\t' + esc(doc['version'])]
where = doc['distribution']
if where['known']:
    lines.append('\t'.join(['distribution'] + [esc(where[k]) for k in
                                               ('id', 'id_like', 'version_id', 'pretty_name')]))
else:
    lines.append('distribution\tunknown\t' + esc(where['problem']))
for side in doc['word_sizes']:
    bits = str(side['bits'])
    state = 'checked' if side['checked'] else 'not checked: ' + esc(side['why_not_checked'])
    lines.append('side\t%s\t%s' % (bits, state))
    for f in side['findings']:
        lines.append('\t'.join(['finding', bits, f['kind'], esc(f['section']), esc(f['id']),
                                esc(f.get('soname', '-')), esc(f['title'])]))
    for key, value in side['properties'].items():
        lines.append('\t'.join(['property', bits, esc(key), esc(value)]))
print('\n'.join(lines))
