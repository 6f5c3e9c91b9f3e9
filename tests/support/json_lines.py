# Reads a document of --json with Python's own parser (strict: UTF-8, no NaN)
# and prints it as lines to compare, one per side, finding and property,
# fields separated by tabs; backslash, tab and line feed escaped.
import json
import sys


def esc(text):
    return str(text).replace('\\', '\\\\').replace('\n', '\\n').replace('\t', '\\t')


doc = json.loads(open(sys.argv[1], encoding='utf-8').read(),
                 parse_constant=lambda constant: sys.exit('not JSON: ' + constant))
where = doc['distribution']
fields = ['id', 'id_like', 'version_id', 'pretty_name'] if where['known'] else ['problem']
lines = ['schema\t%d' % doc['schema'], 'version\t' + esc(doc['version']),
         '\t'.join(['distribution'] + [esc(where[k]) for k in fields])]
for side in doc['word_sizes']:
    b = str(side['bits'])
    lines.append('side\t%s\t%s' % (b, 'checked' if side['checked'] else
                                   'not checked: ' + esc(side['why_not_checked'])))
    lines += ['\t'.join(['finding', b] + [esc(f.get(k, '-')) for k in
                                          ('kind', 'section', 'id', 'soname', 'title')])
              for f in side['findings']]
    lines += ['\t'.join(['property', b, esc(k), esc(v)]) for k, v in side['properties'].items()]
print('\n'.join(lines))
