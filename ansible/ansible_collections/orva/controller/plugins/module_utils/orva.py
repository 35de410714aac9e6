# -*- coding: utf-8 -*-
# Copyright: 2026 the Orva_Utility authors
# Running orva-utility's one-shot commands with --json on the managed host,
# for the modules of the collection.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

from ansible.module_utils.basic import AnsibleModule


def orva_module(options, **kwargs):
    """An AnsibleModule with the collection's common options besides `options`,
    check mode supported."""
    taken = dict(
        controller=dict(type='path'),
        board=dict(type='path'),
        executable=dict(type='str', default='orva-utility'),
    )
    taken.update(options)
    return AnsibleModule(argument_spec=taken, mutually_exclusive=[('controller', 'board')],
                         supports_check_mode=True, **kwargs)


class OrvaUtility(object):
    """orva-utility on the controller (or board) the module's options name."""

    def __init__(self, module):
        self.module = module
        self.warned = set()

    def command_line(self, words, options):
        params = self.module.params
        executable = params['executable']
        if '/' not in executable:
            executable = self.module.get_bin_path(executable, required=True)
        line = [executable]
        if params['controller']:
            line += ['--controller', params['controller']]
        elif params['board']:
            line += ['--board', params['board']]
        # Options first, then "--": an argument that starts with "-" stays one.
        return line + list(options) + ['--json', '--'] + list(words)

    def run(self, words, options=(), check=False):
        """Runs the command `words` (with `options`; with --check when `check` and
        the task runs in check mode) and returns the object it printed. Its
        warnings become the task's; a failure fails the task with its message."""
        if check and self.module.check_mode:
            options = list(options) + ['--check']
        line = self.command_line(words, options)
        rc, out, err = self.module.run_command(line)
        try:
            result = json.loads(out)
        except ValueError:
            result = None
        if not isinstance(result, dict):
            self.module.fail_json(msg=err.strip() or 'orva-utility printed no result', rc=rc, cmd=line,
                                  stdout=out, stderr=err)
        for warning in result.get('warnings', []):
            if warning not in self.warned:
                self.warned.add(warning)
                self.module.warn(warning)
        if rc != 0 or result.get('failed'):
            self.module.fail_json(msg=result.get('msg') or err.strip(), rc=rc, cmd=line, stderr=err)
        return result

    def change(self, words, options=(), save=None):
        """Runs a command that sets (--no-save when `save` is false) and returns
        its changed, before and after."""
        if save is False:
            options = list(options) + ['--no-save']
        result = self.run(words, options, check=True)
        return dict(changed=result['changed'], before=result['before'], after=result['after'])


def exit_with_change(module, change, **values):
    """Ends the module with a change as OrvaUtility.change gives it, its diff
    in diff mode, and `values` returned besides."""
    result = dict(change)
    if module._diff:
        result['diff'] = dict(before=change['before'], after=change['after'])
    result.update(values)
    module.exit_json(**result)
