# Holds each module of the collection to its documentation: ansible-doc must
# read it, and its options must be exactly those the module takes, with the
# same type, default, choices and whether they are required. Run with the
# directory that holds ansible_collections as the first argument; each
# module's EXAMPLES are written to NAME.yml in the folder the second names,
# for yamllint.
import json
import os
import subprocess
import sys

from ansible.module_utils import basic


class Captured(Exception):
    pass


def options_taken(name):
    """The options module `name` gives AnsibleModule."""
    def capture(self, argument_spec, **kwargs):
        raise Captured(argument_spec)
    basic.AnsibleModule.__init__ = capture
    module = __import__('ansible_collections.orva.controller.plugins.modules.' + name, fromlist=['main'])
    try:
        module.main()
    except Captured as captured:
        return captured.args[0]
    raise AssertionError(name + ' made no AnsibleModule')


def main():
    root = sys.argv[1]
    sys.path.insert(0, root)
    folder = os.path.join(root, 'ansible_collections', 'orva', 'controller', 'plugins', 'modules')
    names = sorted(f[:-3] for f in os.listdir(folder) if f.endswith('.py'))
    problems = []
    # One ansible-doc for all of them: each run costs a second of start-up.
    docs = json.loads(subprocess.run(['ansible-doc', '--json'] + ['orva.controller.' + name for name in names],
                                     check=True, capture_output=True, text=True).stdout)
    for name in names:
        read = docs['orva.controller.' + name]
        documented = read['doc']
        with open(os.path.join(sys.argv[2], name + '.yml'), 'w') as examples:
            examples.write('---\n' + read['examples'].lstrip('\n'))
        for part in ('short_description', 'description', 'author'):
            if not documented.get(part):
                problems.append('%s: no %s' % (name, part))
        options = documented.get('options', {})
        taken_options = options_taken(name)
        for option in sorted(set(options) | set(taken_options)):
            if option not in options or option not in taken_options:
                problems.append('%s: %s is %s' % (name, option,
                                                  'not documented' if option in taken_options else 'not taken'))
                continue
            doc_option, taken = options[option], taken_options[option]
            for key, default in (('type', 'str'), ('default', None), ('choices', None), ('required', False),
                                 ('elements', None)):
                if doc_option.get(key, default) != taken.get(key, default):
                    problems.append('%s: %s %s is %r in the documentation, %r in the module'
                                    % (name, option, key, doc_option.get(key, default), taken.get(key, default)))
    print('\n'.join(problems) or '%d modules match their documentation' % len(names))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
